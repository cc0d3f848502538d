#include "app/CommandLine.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

struct Case
{
    std::vector<std::string> arguments;
    bool setup;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << "[" << CommandLineText(c.arguments) << "]";
}

class SetupSwitch : public testing::TestWithParam<Case>
{};

TEST_P(SetupSwitch, IsRecognisedOnlyAsTheWholeText)
{
    EXPECT_EQ(GetParam().setup, IsSetupSwitch(CommandLineText(GetParam().arguments)))
        << "text: [" << CommandLineText(GetParam().arguments) << "]";
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SetupSwitch,
    testing::Values(Case{{"/setup"}, true}, Case{{"/SETUP"}, true}, Case{{"/SeTuP"}, true},
                    Case{{"   /setup"}, true},      // blanks before it are skipped
                    Case{{"\t/setup"}, true},       // so is any control character
                    Case{{"", "/setup"}, true},     // an empty word adds only a blank before it
                    Case{{"/setup "}, false},       // a trailing blank stays part of the text
                    Case{{"/setup", ""}, false},    // and so does an empty word after it
                    Case{{"/setup", "x"}, false},   // a further word
                    Case{{"/setupx"}, false}, Case{{"-setup"}, false}, Case{{"setup"}, false},
                    Case{{"/set"}, false}, Case{{}, false}, Case{{"/s\xC3\xA9tup"}, false}), [](const testing::TestParamInfo<Case>& row) { return RowName(CommandLineText(row.param.arguments) + (row.param.setup ? " setup" : " no"), row.index); });

// In a Turkish locale the C library's tolower leaves "I" alone.
TEST(SetupSwitchInATurkishLocale, CapitalsStillMatch)
{
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "tr_TR.UTF-8") == nullptr)
        GTEST_SKIP() << "no Turkish locale here (scripts/install-deps.sh makes one)";
    const bool matched = IsSetupSwitch("/SETUP");
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_TRUE(matched);
}

TEST(CommandLineText, JoinsWordsWithSingleBlanks)
{
    EXPECT_EQ("a b  c ", CommandLineText({"  a", "b", " c "}));
    EXPECT_EQ("", CommandLineText({}));
}

} // namespace
