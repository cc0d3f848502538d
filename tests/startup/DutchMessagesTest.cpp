// Dutch GTK texts whatever the desktop's locale, without changing more of
// the locale than that.
#include "startup/DutchMessages.h"
#include "startup/NativeStart.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

namespace {

struct LocaleCase
{
    const char* name;
    LocaleEnvironment before;
    LocaleEnvironment after;
};

class DutchMessages : public testing::TestWithParam<LocaleCase>
{};

TEST_P(DutchMessages, LanguageIsDutchAndOnlyPlainCIsReplaced)
{
    EXPECT_EQ(GetParam().after, WithDutchMessages(GetParam().before));
}

INSTANTIATE_TEST_SUITE_P(
    Environments, DutchMessages,
    testing::Values(
        LocaleCase{"EnglishDesktop",
                   {{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "en_US:en"}},
                   {{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "nl"}}},
        LocaleCase{"UnicodeC", {{"LANG", "C.UTF-8"}}, {{"LANG", "C.UTF-8"}, {"LANGUAGE", "nl"}}},
        // gettext ignores LANGUAGE under plain C.
        LocaleCase{"NothingSet", {}, {{"LANGUAGE", "nl"}, {"LC_MESSAGES", "C.UTF-8"}}},
        LocaleCase{"PosixMessagesOnly",
                   {{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "POSIX"}},
                   {{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "C.UTF-8"}, {"LANGUAGE", "nl"}}},
        // LC_ALL is spelt out, so that numbers and the rest stay as they were.
        LocaleCase{"AllC",
                   {{"LC_ALL", "C"}, {"LANG", "nl_NL.UTF-8"}},
                   {{"LANG", "nl_NL.UTF-8"},     {"LANGUAGE", "nl"},          {"LC_MESSAGES", "C.UTF-8"},
                    {"LC_CTYPE", "C"},           {"LC_NUMERIC", "C"},         {"LC_TIME", "C"},
                    {"LC_COLLATE", "C"},         {"LC_MONETARY", "C"},        {"LC_PAPER", "C"},
                    {"LC_NAME", "C"},            {"LC_ADDRESS", "C"},         {"LC_TELEPHONE", "C"},
                    {"LC_MEASUREMENT", "C"},     {"LC_IDENTIFICATION", "C"}}},
        LocaleCase{"AllUnicode",
                   {{"LC_ALL", "en_GB.UTF-8"}},
                   {{"LC_ALL", "en_GB.UTF-8"}, {"LANGUAGE", "nl"}}}),
    CaseName());

} // namespace

// GTK leaves OpenGL alone unless the user asked for something else.
TEST(GdkGl, OffUnlessTheUserSetIt)
{
    EXPECT_EQ(GdkGlSetting(nullptr), "disable");
    EXPECT_EQ(GdkGlSetting(""), "disable");
    EXPECT_EQ(GdkGlSetting("always"), "always");
}
