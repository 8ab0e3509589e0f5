# cmake -DOBJDUMP=<objdump> -DFILE=<program> -P check-imports.cmake
#
# Fails when the program imports a DLL that is not part of Windows: the
# programs must run from a bare folder, so the compiler's runtime
# (libstdc++, libgcc, winpthread) has to be linked in statically.
execute_process(COMMAND ${OBJDUMP} -p ${FILE}
                OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${FILE} failed")
endif()

set(system_dlls
    kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll advapi32.dll
    shell32.dll shlwapi.dll ole32.dll oleaut32.dll msvcrt.dll ucrtbase.dll
    ws2_32.dll winmm.dll msimg32.dll version.dll bcrypt.dll ntdll.dll)

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
foreach(line ${lines})
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  if(lower MATCHES "^api-ms-win-")
    continue()
  endif()
  list(FIND system_dlls "${lower}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${FILE} imports ${dll}, which Windows does not provide")
  endif()
endforeach()
