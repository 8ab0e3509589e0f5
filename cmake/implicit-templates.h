// Force-included into our own Windows code (see CMakeLists.txt).
//
// libstdc++ declares its string classes "extern template", so every member
// comes from the prebuilt copies in the static library, and the linker then
// keeps all of them: their unwind tables are never dropped. Letting the
// compiler instantiate what we use keeps only that.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
