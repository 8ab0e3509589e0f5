#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeOs.h"
#include "vcl/SysUtils.h"

using vcl::ParamCountOf;
using vcl::ParamStrOf;

namespace {

struct SplitCase {
    const wchar_t* line;
    std::vector<std::wstring> args; // arguments 0..ParamCount
};

class CommandLineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, SplitsIntoArguments) {
    const SplitCase& c = GetParam();
    const int count = static_cast<int>(c.args.size()) - 1;
    EXPECT_EQ(ParamCountOf(c.line), count);
    for (int i = 0; i <= count; ++i)
        EXPECT_EQ(ParamStrOf(c.line, i), c.args[i]) << "argument " << i;
    // Past the last counted argument everything is empty.
    EXPECT_EQ(ParamStrOf(c.line, count + 1), L"");
    EXPECT_EQ(ParamStrOf(c.line, count + 5), L"");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineSplit,
    ::testing::Values(
        SplitCase{L"", {L""}},
        SplitCase{L"x.scr", {L"x.scr"}},
        SplitCase{L"x.scr /s", {L"x.scr", L"/s"}},
        SplitCase{L"   x.scr    /p   1234   ", {L"x.scr", L"/p", L"1234"}},
        // Tabs and other control characters separate like blanks.
        SplitCase{L"x.scr\t/p\x01\x1f" L"99\r\n", {L"x.scr", L"/p", L"99"}},
        // A quoted program path with blanks is one argument, quotes dropped.
        SplitCase{L"\"C:\\Program Files\\x.scr\" /s", {L"C:\\Program Files\\x.scr", L"/s"}},
        // Without quotes the path falls apart.
        SplitCase{L"C:\\Program Files\\x.scr /s", {L"C:\\Program", L"Files\\x.scr", L"/s"}},
        // Quoted and unquoted stretches next to each other join.
        SplitCase{L"x \"a b\"c\" d\"e", {L"x", L"a bc de"}},
        SplitCase{L"x a\"\"b", {L"x", L"ab"}},
        // Pairs of quotes before an argument are skipped, in any mix with blanks.
        SplitCase{L"x.scr \"\" /s", {L"x.scr", L"/s"}},
        SplitCase{L"x.scr\"\"\"\" \"\"\t\"\"/s", {L"x.scr", L"/s"}},
        SplitCase{L"x.scr \"\"\"/s\"", {L"x.scr", L"/s"}},
        SplitCase{L"\"\" x.scr /a", {L"x.scr", L"/a"}},
        // A lone pair of quotes at the end is no argument at all.
        SplitCase{L"x.scr /s \"\"", {L"x.scr", L"/s"}},
        // A quoted switch is the switch.
        SplitCase{L"x.scr \"/s\"", {L"x.scr", L"/s"}},
        // An unclosed quote runs to the end of the line.
        SplitCase{L"x.scr \"/p 12", {L"x.scr", L"/p 12"}},
        // A lone trailing quote is an empty argument: counting stops there.
        SplitCase{L"x.scr /s \"", {L"x.scr", L"/s"}},
        // Backslashes are ordinary; there are no escapes.
        SplitCase{L"x.scr a\\\"b c\"\\ d\\\\", {L"x.scr", L"a\\b c\\", L"d\\\\"}},
        // Characters above the ASCII range are ordinary.
        SplitCase{L"\u30B9\u30AF.scr \u5206\u00A0x", {L"\u30B9\u30AF.scr", L"\u5206\u00A0x"}}));

// The line ends at a NUL, as a C string does.
TEST(CommandLine, EndsAtNul) {
    std::wstring line(L"x.scr /s\0/p 5", 13);
    EXPECT_EQ(ParamCountOf(line), 1);
    EXPECT_EQ(ParamStrOf(line, 2), L"");
}

TEST(CommandLine, NegativeIndexIsEmpty) { EXPECT_EQ(ParamStrOf(L"x.scr /s", -1), L""); }

TEST(CommandLine, ProcessArgumentsComeFromTheOs) {
    FakeOs fake;
    fake.commandLine = L"\"C:\\Some Dir\\KsScrExec.scr\" /p 4660";
    fake.modulePath = L"C:\\SOME DIR\\KSSCREXEC.SCR";
    EXPECT_EQ(vcl::ParamCount(), 2);
    // Argument 0 is the module's path, not what the line says.
    EXPECT_EQ(vcl::ParamStr(0), L"C:\\SOME DIR\\KSSCREXEC.SCR");
    EXPECT_EQ(vcl::ParamStr(1), L"/p");
    EXPECT_EQ(vcl::ParamStr(2), L"4660");
    EXPECT_EQ(vcl::ParamStr(3), L"");
}

struct IntCase {
    const wchar_t* text;
    bool ok;
    int32_t value;
};

class IntegerSyntax : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntegerSyntax, ConvertsOrRefuses) {
    const IntCase& c = GetParam();
    int32_t v = 12345;
    EXPECT_EQ(vcl::TryStrToInt(c.text, v), c.ok);
    if (c.ok) {
        EXPECT_EQ(v, c.value);
        EXPECT_EQ(vcl::StrToInt(c.text), c.value);
        EXPECT_EQ(vcl::StrToIntDef(c.text, 77), c.value);
    } else {
        EXPECT_EQ(vcl::StrToIntDef(c.text, 77), 77);
        EXPECT_THROW(vcl::StrToInt(c.text), vcl::EConvertError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, IntegerSyntax,
    ::testing::Values(IntCase{L"30", true, 30}, IntCase{L"+30", true, 30},
                      IntCase{L"   30", true, 30}, IntCase{L"-30", true, -30},
                      IntCase{L"0", true, 0}, IntCase{L"-0", true, 0},
                      IntCase{L"007", true, 7}, // not octal
                      IntCase{L"000000000000000000002147483647", true, 2147483647},
                      IntCase{L"2147483647", true, 2147483647},
                      IntCase{L"-2147483648", true, INT32_MIN},
                      IntCase{L"0x1E", true, 30}, IntCase{L"0X1e", true, 30},
                      IntCase{L"$1e", true, 30}, IntCase{L"x1E", true, 30},
                      IntCase{L"X1E", true, 30}, IntCase{L"  $1E", true, 30},
                      IntCase{L"$FFFFFFFF", true, -1}, IntCase{L"0xffffffff", true, -1},
                      IntCase{L"$80000000", true, INT32_MIN},
                      IntCase{L"$7FFFFFFF", true, 2147483647}, IntCase{L"$0", true, 0},
                      // Leading zeros do not count towards the eight digits.
                      IntCase{L"$0000000001F", true, 31},
                      IntCase{L"0x000000000FFFFFFFF", true, -1}));

INSTANTIATE_TEST_SUITE_P(
    Refused, IntegerSyntax,
    ::testing::Values(IntCase{L"", false, 0}, IntCase{L"   ", false, 0},
                      IntCase{L"1.5", false, 0}, IntCase{L"5\u5206", false, 0},
                      IntCase{L"30 ", false, 0},     // trailing blank
                      IntCase{L"\t30", false, 0},    // only code 32 is skipped
                      IntCase{L"\u300030", false, 0}, // nor an ideographic blank
                      IntCase{L"\uFF13\uFF10", false, 0}, // full-width digits
                      IntCase{L"+", false, 0}, IntCase{L"-", false, 0},
                      IntCase{L"+-5", false, 0}, IntCase{L"- 5", false, 0},
                      IntCase{L"-0x5", false, 0}, IntCase{L"+$5", false, 0},
                      IntCase{L"-x5", false, 0}, IntCase{L"0x", false, 0},
                      IntCase{L"$", false, 0}, IntCase{L"x", false, 0},
                      IntCase{L"$ 5", false, 0}, IntCase{L"0x1G", false, 0},
                      IntCase{L"$$5", false, 0}, IntCase{L"00x5", false, 0},
                      IntCase{L"0000000001F", false, 0}, // hex digits need a prefix
                      IntCase{L"2147483648", false, 0}, IntCase{L"-2147483649", false, 0},
                      IntCase{L"99999999999999999999", false, 0},
                      IntCase{L"$100000000", false, 0}, // nine significant digits
                      IntCase{L"0x123456789", false, 0}));

TEST(StrToInt, MessageNamesTheText) {
    try {
        vcl::StrToInt(L"5\u5206");
        FAIL() << "no error";
    } catch (const vcl::EConvertError& e) {
        EXPECT_EQ(e.Message(), L"'5\u5206' \u306F\u6574\u6570\u3067\u306F\u3042\u308A\u307E\u305B\u3093");
    }
}

TEST(StrToInt, FailedTryLeavesValueAlone) {
    int32_t v = 42;
    EXPECT_FALSE(vcl::TryStrToInt(L"2147483648", v));
    EXPECT_EQ(v, 42);
}

TEST(IntToStr, PlainDecimal) {
    EXPECT_EQ(vcl::IntToStr(0), L"0");
    EXPECT_EQ(vcl::IntToStr(120), L"120");
    EXPECT_EQ(vcl::IntToStr(-1), L"-1");
    EXPECT_EQ(vcl::IntToStr(INT32_MIN), L"-2147483648");
    EXPECT_EQ(vcl::IntToStr(UINT32_MAX), L"4294967295"); // a handle read as unsigned
    EXPECT_EQ(vcl::IntToStr(INT64_MAX), L"9223372036854775807");
    EXPECT_EQ(vcl::IntToStr(INT64_MIN), L"-9223372036854775808");
}

TEST(FormatStr, ReplacesFirstPlaceholderOnly) {
    EXPECT_EQ(vcl::FormatStr(L"[%s] %s", L"a%sb"), L"[a%sb] %s");
    EXPECT_EQ(vcl::FormatStr(L"none", L"x"), L"none");
}

} // namespace
