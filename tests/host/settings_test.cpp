#include <gtest/gtest.h>

#include <string>

#include "FakeOs.h"
#include "settings/settings.h"
#include "vcl/IniFiles.h"

namespace {

struct PathCase {
    const wchar_t* program;
    const wchar_t* ini;
};

class SettingsPathFor : public ::testing::TestWithParam<PathCase> {};

TEST_P(SettingsPathFor, ReplacesOnlyTheFileNamesExtension) {
    EXPECT_EQ(settings::SettingsPathFor(GetParam().program), GetParam().ini);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SettingsPathFor,
    ::testing::Values(PathCase{L"C:\\Savers\\rotate.scr", L"C:\\Savers\\rotate.ini"},
                      PathCase{L"C:\\Savers\\rotate", L"C:\\Savers\\rotate.ini"},
                      PathCase{L"C:\\my.savers\\rotate", L"C:\\my.savers\\rotate.ini"},
                      PathCase{L"C:\\my.savers\\rotate.v2.scr", L"C:\\my.savers\\rotate.v2.ini"},
                      PathCase{L"C:rotate", L"C:rotate.ini"},
                      PathCase{L"C:rotate.scr", L"C:rotate.ini"},
                      PathCase{L"rotate.", L"rotate.ini"},
                      PathCase{L"C:\\Savers.d\\", L"C:\\Savers.d\\.ini"},
                      // "/" does not end a folder name here.
                      PathCase{L"C:\\a.b/rotate", L"C:\\a.ini"},
                      PathCase{L"\\\\server\\share\\\u30B9\u30AF.scr",
                               L"\\\\server\\share\\\u30B9\u30AF.ini"}));

TEST(Settings, PathOfTheRunningProgram) {
    FakeOs fake;
    fake.modulePath = L"D:\\Tools\\KsScrExec.scr";
    EXPECT_EQ(settings::SettingsPath(), L"D:\\Tools\\KsScrExec.ini");
}

TEST(Settings, SectionsAndKeys) {
    EXPECT_STREQ(settings::kSaverSection, L"KS_SCR");
    EXPECT_STREQ(settings::kIntervalKey, L"Interval");
    EXPECT_STREQ(settings::kModeKey, L"Mode");
    EXPECT_STREQ(settings::kFilesSection, L"SCRFiles");
    EXPECT_EQ(settings::kSlotCount, 32);
    EXPECT_EQ(settings::SlotKey(0), L"No0");
    EXPECT_EQ(settings::SlotKey(5), L"No5");
    EXPECT_EQ(settings::SlotKey(31), L"No31");
}

const std::wstring kIni = L"C:\\Savers\\KsScrExec.ini";

class IniFileTest : public ::testing::Test {
  protected:
    FakeOs fake;
};

TEST_F(IniFileTest, ReadIntegerParsesOrFallsBack) {
    struct {
        const wchar_t* value;
        int32_t expected;
    } cases[] = {
        {L"30", 30},  {L"+30", 30},   {L"  30", 30},         {L"0x1E", 30},
        {L"$1e", 30}, {L"X1E", 30},   {L"$FFFFFFFF", -1},    {L"-2147483648", INT32_MIN},
        {L"0", 0},    {L"2", 2},      {L"1.5", 1},           {L"5\u5206", 1},
        {L"-0x5", 1}, {L"+$5", 1},    {L"0x", 1},            {L"$", 1},
        {L"", 1},     {L"   ", 1},    {L"2147483648", 1},    {L"$123456789", 1},
    };
    for (const auto& c : cases) {
        fake.files[kIni][L"KS_SCR"][L"Interval"] = c.value;
        vcl::TIniFile ini(kIni);
        EXPECT_EQ(ini.ReadInteger(L"KS_SCR", L"Interval", 1), c.expected) << c.value;
    }
}

TEST_F(IniFileTest, MissingFileSectionOrKeyReadsAsDefault) {
    {
        vcl::TIniFile ini(kIni);
        EXPECT_EQ(ini.ReadInteger(L"KS_SCR", L"Interval", 1), 1);
        EXPECT_EQ(ini.ReadString(L"SCRFiles", L"No0", L""), L"");
    }
    fake.files[kIni][L"SCRFiles"][L"No0"] = L"a.scr";
    {
        vcl::TIniFile ini(kIni);
        EXPECT_EQ(ini.ReadInteger(L"KS_SCR", L"Mode", 0), 0);      // no section
        EXPECT_EQ(ini.ReadString(L"SCRFiles", L"No1", L""), L"");  // no key
        EXPECT_EQ(ini.ReadString(L"SCRFiles", L"No0", L""), L"a.scr");
        // Another file is another file.
        vcl::TIniFile other(L"C:\\Elsewhere\\KsScrExec.ini");
        EXPECT_EQ(other.ReadString(L"SCRFiles", L"No0", L"-"), L"-");
    }
    // Reading never creates anything.
    EXPECT_TRUE(fake.writes.empty());
}

TEST_F(IniFileTest, LongTextIsCutTo2047) {
    std::wstring value(3000, L'a');
    value[2046] = L'b';
    value[2047] = L'c';
    fake.files[kIni][L"SCRFiles"][L"No0"] = value;
    vcl::TIniFile ini(kIni);
    std::wstring got = ini.ReadString(L"SCRFiles", L"No0", L"");
    ASSERT_EQ(got.size(), 2047u);
    EXPECT_EQ(got.back(), L'b');
}

TEST_F(IniFileTest, WriteIntegerStoresDecimalText) {
    {
        vcl::TIniFile ini(kIni);
        ini.WriteInteger(L"KS_SCR", L"Interval", 120);
        ini.WriteInteger(L"KS_SCR", L"Mode", -1);
        EXPECT_TRUE(fake.flushes.empty());
    }
    EXPECT_EQ(fake.files[kIni][L"KS_SCR"][L"Interval"], L"120");
    EXPECT_EQ(fake.files[kIni][L"KS_SCR"][L"Mode"], L"-1");
    // Freeing the object puts the writes on disk.
    ASSERT_EQ(fake.flushes.size(), 1u);
    EXPECT_EQ(fake.flushes[0], kIni);
}

TEST_F(IniFileTest, RefusedWriteRaisesWithTheFullPathAndStops) {
    fake.refusedWrites = {L"KS_SCR/Interval"};
    bool raised = false;
    try {
        vcl::TIniFile ini(kIni);
        ini.WriteInteger(L"KS_SCR", L"Interval", 5);
        ini.WriteInteger(L"KS_SCR", L"Mode", 1);
    } catch (const vcl::EIniFileException& e) {
        raised = true;
        EXPECT_EQ(e.Message(), kIni + L" \u306B\u66F8\u304D\u8FBC\u3081\u307E\u305B\u3093");
    }
    EXPECT_TRUE(raised);
    EXPECT_TRUE(fake.writes.empty());
    EXPECT_EQ(fake.files.count(kIni), 0u);
    // The object was still freed, and flushed, on the way out.
    EXPECT_EQ(fake.flushes.size(), 1u);
}

TEST_F(IniFileTest, RefusedStringWriteRaisesToo) {
    fake.refusedWrites = {L"*"};
    vcl::TIniFile ini(kIni);
    EXPECT_THROW(ini.WriteString(L"SCRFiles", L"No0", L"a.scr"), vcl::EIniFileException);
}

} // namespace
