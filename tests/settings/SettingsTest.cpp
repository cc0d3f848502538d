#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "support/TempDir.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <wx/fileconf.h>
#include <wx/init.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

// wxFileConfig needs the library initialised, as the program has it.
class WxBase : public testing::Environment
{
    void SetUp() override { m_init = std::make_unique<wxInitializer>(); }
    void TearDown() override { m_init.reset(); }
    std::unique_ptr<wxInitializer> m_init;
};
const auto* const g_wx = testing::AddGlobalTestEnvironment(new WxBase);

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

CSettings LoadFrom(const std::string& path)
{
    auto file = OpenSettingsFile(path);
    return CSettings(*file);
}

struct Values
{
    std::string outputDir;
    std::int32_t useIdentifier, useTitle, useCreator, confirmOverwrite, ejectWhenDone, messageWhenDone,
        copyViaTemp, autoStart;
};

Values Of(const CSettings& s)
{
    return {s.OutputDir,       s.UseIdentifier,   s.UseTitle,    s.UseCreator, s.ConfirmOverwrite,
            s.EjectWhenDone,   s.MessageWhenDone, s.CopyViaTemp, s.AutoStart};
}

void ExpectValues(const Values& expected, const CSettings& actual)
{
    const Values got = Of(actual);
    EXPECT_EQ(expected.outputDir, got.outputDir);
    EXPECT_EQ(expected.useIdentifier, got.useIdentifier);
    EXPECT_EQ(expected.useTitle, got.useTitle);
    EXPECT_EQ(expected.useCreator, got.useCreator);
    EXPECT_EQ(expected.confirmOverwrite, got.confirmOverwrite);
    EXPECT_EQ(expected.ejectWhenDone, got.ejectWhenDone);
    EXPECT_EQ(expected.messageWhenDone, got.messageWhenDone);
    EXPECT_EQ(expected.copyViaTemp, got.copyViaTemp);
    EXPECT_EQ(expected.autoStart, got.autoStart);
}

const Values kDefaults{"", 1, 1, 1, 1, 1, 0, 0, 0};

// Files a user, a crash or a bad disk may leave; each must read as the
// defaults (apart from what it validly holds) without a crash or a message.
struct BrokenFile
{
    const char* what;
    std::string content;
    Values expected;
};

PRINT_CASE_AS(BrokenFile, what)

class BrokenSettingsFile : public testing::TestWithParam<BrokenFile>
{};

TEST_P(BrokenSettingsFile, ReadsAsDefaults)
{
    CTempDir dir;
    const std::string path = dir / "Talvora.conf";
    WriteFile(path, GetParam().content);
    ExpectValues(GetParam().expected, LoadFrom(path));
}

Values With(Values v, std::int32_t Values::*field, std::int32_t value)
{
    v.*field = value;
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenSettingsFile,
    testing::Values(
        BrokenFile{"empty", "", kDefaults},
        BrokenFile{"other section only", "[Other]\nUseTitle=0\n", kDefaults},
        BrokenFile{"value of five", "[Settings]\nUseTitle=5\n", With(kDefaults, &Values::useTitle, 5)},
        BrokenFile{"only CopyViaTemp", "[Settings]\nCopyViaTemp=1\n", With(kDefaults, &Values::copyViaTemp, 1)},
        BrokenFile{"letters for a number", "[Settings]\nUseTitle=abc\nAutoStart=abc\n", kDefaults},
        BrokenFile{"empty number", "[Settings]\nUseCreator=\n", kDefaults},
        BrokenFile{"number with trailing text", "[Settings]\nUseTitle=0x\nAutoStart=1.5\n", kDefaults},
        BrokenFile{"number beyond 32 bits", "[Settings]\nUseTitle=4294967296\n", kDefaults},
        BrokenFile{"negative number", "[Settings]\nEjectWhenDone=-1\n", With(kDefaults, &Values::ejectWhenDone, -1)},
        BrokenFile{"blanks around a number", "[Settings]\nAutoStart =  7 \n", With(kDefaults, &Values::autoStart, 7)},
        BrokenFile{"binary garbage", std::string("\x00\xff\xfe[Settings\x01\n=\n\x80\x81", 13), kDefaults},
        // A file that is not UTF-8 is taken as Latin-1 rather than thrown away.
        BrokenFile{"not UTF-8", "[Settings]\nOutputDir=/media/\xff\xfe/\nUseTitle=0\n",
                   {"/media/\xC3\xBF\xC3\xBE/", 1, 0, 1, 1, 1, 0, 0, 0}},
        BrokenFile{"unterminated section", "[Settings\nUseTitle=0\n", kDefaults},
        BrokenFile{"duplicate values, last wins", "[Settings]\nUseTitle=1\nUseTitle=0\n",
                   With(kDefaults, &Values::useTitle, 0)}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST(Settings, MissingFileGivesDefaultsAndLeavesNoTrace)
{
    CTempDir dir;
    const CSettings s = LoadFrom(dir / "absent/Talvora.conf");
    ExpectValues(kDefaults, s);
    EXPECT_FALSE(s.IsConfigured());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "absent"));
}

TEST(Settings, UnreadableFileGivesDefaults)
{
    CTempDir dir;
    // A folder where the file should be: unreadable even for root.
    std::filesystem::create_directory(dir.path() / "Talvora.conf");
    ExpectValues(kDefaults, LoadFrom(dir / "Talvora.conf"));
}

std::map<std::string, std::string> SettingsSection(const std::string& text)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    bool inSettings = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.front() == '[') {
            inSettings = line == "[Settings]";
            continue;
        }
        const auto eq = line.find('=');
        if (inSettings && eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

TEST(Settings, SaveWritesExactlyTheNineValuesAndNeverTheTemporaryFolder)
{
    CTempDir dir;
    const std::string path = dir / "cfg/Talvora.conf";
    {
        auto file = OpenSettingsFile(path);
        CSettings s(*file);
        s.OutputDir = "/home/lezer/Boeken/";
        s.UseCreator = 0;
        s.ConfirmOverwrite = 0;
        s.AutoStart = 1;
        s.TempPath = "/should/not/be/saved/";
        ASSERT_TRUE(s.Save(*file));
    }
    const std::map<std::string, std::string> expected{
        {"OutputDir", "/home/lezer/Boeken/"}, {"UseIdentifier", "1"}, {"UseTitle", "1"},
        {"UseCreator", "0"},                  {"ConfirmOverwrite", "0"}, {"EjectWhenDone", "1"},
        {"MessageWhenDone", "0"},             {"CopyViaTemp", "0"},      {"AutoStart", "1"}};
    const std::string text = ReadFile(path);
    EXPECT_EQ(expected, SettingsSection(text)) << text;
    EXPECT_EQ(std::string::npos, text.find("should/not")) << text;
}

TEST(Settings, SavedValuesComeBackAsTheyWere)
{
    CTempDir dir;
    const std::string path = dir / "Talvora.conf";
    const std::vector<std::string> folders = {
        "/media/$USER/Boeken/", "  /spaties vooraf/", "/back\\slash/", "/Caf\xC3\xA9 \"quoted\"/", "/a;b#c=d/"};
    for (const std::string& folder : folders) {
        {
            auto file = OpenSettingsFile(path);
            CSettings s(*file);
            s.OutputDir = folder;
            s.MessageWhenDone = 1;
            ASSERT_TRUE(s.Save(*file));
        }
        const CSettings again = LoadFrom(path);
        EXPECT_EQ(folder, again.OutputDir);
        EXPECT_EQ(1, again.MessageWhenDone);
    }
}

TEST(Settings, SavingAnEmptyOutputFolderMeansNotConfiguredNextTime)
{
    CTempDir dir;
    const std::string path = dir / "Talvora.conf";
    WriteFile(path, "[Settings]\nOutputDir=/boeken/\n");
    ASSERT_TRUE(LoadFrom(path).IsConfigured());
    {
        auto file = OpenSettingsFile(path);
        CSettings s(*file);
        s.OutputDir.clear();
        ASSERT_TRUE(s.Save(*file));
    }
    EXPECT_FALSE(LoadFrom(path).IsConfigured());
}

TEST(Settings, SaveIntoAnUnwritableFolderFailsWithoutHarm)
{
    CTempDir dir;
    // A file where the settings folder should be: no folder can be made,
    // whoever runs the test.
    WriteFile(dir / "blocked", "x");
    auto file = OpenSettingsFile(dir / "blocked/Talvora.conf");
    CSettings s(*file);
    s.OutputDir = "/boeken/";
    EXPECT_FALSE(s.Save(*file));
    EXPECT_EQ("/boeken/", s.OutputDir);
    EXPECT_EQ("x", ReadFile(dir / "blocked"));
}

TEST(Settings, LoadLeavesTheTemporaryFolderAlone)
{
    CTempDir dir;
    auto file = OpenSettingsFile(dir / "Talvora.conf");
    CSettings s(*file);
    ASSERT_FALSE(s.TempPath.empty());
    EXPECT_EQ('/', s.TempPath.back());
    s.TempPath = "/kept/";
    s.Load(*file);
    EXPECT_EQ("/kept/", s.TempPath);
}

} // namespace

namespace {

struct VerifyCase
{
    const char* name;
    const char* file;
    std::int32_t expected;
};

PRINT_CASE_AS(VerifyCase, name)

class VerifyCopySetting : public testing::TestWithParam<VerifyCase>
{
};

// Read like the other switches; kept out of Save, so the settings window
// never writes a value it does not show, nor loses the one written by hand.
TEST_P(VerifyCopySetting, ReadLikeTheOthersAndLeftAloneBySave)
{
    CTempDir dir;
    const std::string path = dir / "Talvora.conf";
    WriteFile(path, std::string("[Settings]\nOutputDir=/boeken/\n") + GetParam().file);
    auto file = OpenSettingsFile(path);
    CSettings s(*file);
    EXPECT_EQ(s.VerifyCopy, GetParam().expected);
    s.VerifyCopy = 7;
    ASSERT_TRUE(s.Save(*file));
    EXPECT_EQ(LoadFrom(path).VerifyCopy, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Settings, VerifyCopySetting,
                         testing::Values(VerifyCase{"MissingIsOn", "", 1}, VerifyCase{"ZeroIsOff", "VerifyCopy=0\n", 0},
                                         VerifyCase{"GarbageIsOn", "VerifyCopy=nee\n", 1}),
                         CaseName());

} // namespace
