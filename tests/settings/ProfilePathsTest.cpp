#include "settings/ProfilePaths.h"
#include "support/TempDir.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct EnvCase
{
    const char* what;
    const char* tmpdir;
    const char* cache;
    const char* config;
    const char* runtime;
    std::string tempPath;
    std::string settingsFile;
    std::string runtimeFolder;
};

PRINT_CASE_AS(EnvCase, what)

class ProfilePaths : public testing::TestWithParam<EnvCase>
{};

TEST_P(ProfilePaths, FollowTheDesktopConventions)
{
    const EnvCase& c = GetParam();
    CScopedEnv home("HOME", "/home/lezer");
    CScopedEnv tmp("TMPDIR", c.tmpdir);
    CScopedEnv cache("XDG_CACHE_HOME", c.cache);
    CScopedEnv config("XDG_CONFIG_HOME", c.config);
    CScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
    EXPECT_EQ(c.tempPath, settings::profile_paths::TempPath());
    EXPECT_EQ(c.settingsFile, settings::profile_paths::SettingsFile());
    EXPECT_EQ(c.runtimeFolder, settings::profile_paths::RuntimeFolder());
}

INSTANTIATE_TEST_SUITE_P(
    Environments, ProfilePaths,
    testing::Values(
        EnvCase{"nothing set", nullptr, nullptr, nullptr, nullptr, "/home/lezer/.cache/",
                "/home/lezer/.config/Merrowind/Talvora.conf", "/home/lezer/.config/Merrowind"},
        EnvCase{"all set", "/scratch", "/c", "/cfg/", "/run/user/1000", "/scratch/", "/cfg/Merrowind/Talvora.conf",
                "/run/user/1000"},
        EnvCase{"tmpdir with slash", "/scratch//", "/c", nullptr, nullptr, "/scratch/",
                "/home/lezer/.config/Merrowind/Talvora.conf", "/home/lezer/.config/Merrowind"},
        EnvCase{"relative values ignored", "tmp", "cache", "cfg", "run", "/home/lezer/.cache/",
                "/home/lezer/.config/Merrowind/Talvora.conf", "/home/lezer/.config/Merrowind"},
        EnvCase{"empty values ignored", "", "", "", "", "/home/lezer/.cache/",
                "/home/lezer/.config/Merrowind/Talvora.conf", "/home/lezer/.config/Merrowind"},
        EnvCase{"root as temporary folder", "/", nullptr, nullptr, nullptr, "/",
                "/home/lezer/.config/Merrowind/Talvora.conf", "/home/lezer/.config/Merrowind"}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (c == ' ')
                c = '_';
        return name;
    });

TEST(MakePrivateFolders, CreatesMissingParentsPrivately)
{
    CTempDir dir;
    const std::string deep = dir / "a/b/c";
    ASSERT_EQ(0, settings::profile_paths::MakePrivateFolders(deep));
    struct stat st {};
    ASSERT_EQ(0, stat(deep.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
    EXPECT_EQ(0, settings::profile_paths::MakePrivateFolders(deep)); // already there
}

TEST(MakePrivateFolders, FailsThroughAFile)
{
    CTempDir dir;
    FILE* f = fopen((dir / "file").c_str(), "w");
    ASSERT_NE(nullptr, f);
    fclose(f);
    EXPECT_EQ(ENOTDIR, settings::profile_paths::MakePrivateFolders(dir / "file/sub"));
    EXPECT_NE(0, settings::profile_paths::MakePrivateFolders(""));
}

} // namespace
