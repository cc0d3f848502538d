// Folder names from metadata: the composition table, the cleaning, the
// conversion to UTF-8, and that hostile metadata can only ever give one
// folder directly below the output folder.
#include "naming/FolderName.h"

#include "book/NccReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Test output names a case by its label instead of dumping its bytes.
template <typename Case>
    requires requires(const Case& c) { c.label; }
void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.label;
}

using Metas = std::vector<std::pair<std::string, std::string>>;

const Metas kSamples = {
    {"dc:identifier", "133869"}, {"dc:title", "Het raadsel van de blauwe sluis"}, {"dc:creator", "Hoogmeer, TW"}};

CMetaList ListOf(const Metas& metas)
{
    CMetaList list;
    for (const auto& [name, content] : metas)
        list.Append({name, content});
    return list;
}

Metas With(Metas metas, const Metas& more)
{
    metas.insert(metas.end(), more.begin(), more.end());
    return metas;
}

Metas Without(Metas metas, const std::string& name)
{
    std::erase_if(metas, [&](const auto& entry) { return entry.first == name; });
    return metas;
}

struct ComposeCase
{
    const char* label;
    int id;
    int title;
    int creator;
    Metas metas;
    std::string name;
};

class Compose : public testing::TestWithParam<ComposeCase>
{};

TEST_P(Compose, Name)
{
    const ComposeCase& c = GetParam();
    EXPECT_EQ(MakeFolderName(c.id, c.title, c.creator, ListOf(c.metas)), c.name);
}

const std::string kFull = "133869 - Het raadsel van de blauwe sluis - Hoogmeer, TW";

INSTANTIATE_TEST_SUITE_P(
    Table, Compose,
    testing::Values(
        ComposeCase{"set_1_of_1", 1, 1, 1, With(kSamples, {{"ncc:setInfo", "1 of 1"}}), kFull},
        ComposeCase{"set_2_of_3", 1, 1, 1, With(kSamples, {{"ncc:setInfo", "2 of 3"}}), kFull + " - 2 of 3"},
        ComposeCase{"no_set", 1, 1, 1, kSamples, kFull},
        ComposeCase{"set_1_of_1_capitals", 1, 1, 1, With(kSamples, {{"ncc:setInfo", "1 OF 1"}}), kFull},
        ComposeCase{"set_name_capitals", 1, 1, 1, With(kSamples, {{"NCC:SETINFO", "2 of 3"}}), kFull + " - 2 of 3"},
        ComposeCase{"set_1_of_1_blank", 1, 1, 1, With(kSamples, {{"ncc:setInfo", "1 of 1 "}}), kFull + " - 1 of 1"},
        ComposeCase{"title_only", 0, 1, 0, kSamples, "Het raadsel van de blauwe sluis"},
        ComposeCase{"identifier_and_creator", 1, 0, 1, kSamples, "133869 - Hoogmeer, TW"},
        ComposeCase{"second_sources", 1, 1, 1,
                    {{"ncc:identifier", "133869"},
                     {"dc:title", "Het raadsel van de blauwe sluis"},
                     {"ncc:creator", "Hoogmeer, TW"}},
                    kFull},
        ComposeCase{"title_name_capitals", 1, 1, 1,
                    {{"dc:identifier", "133869"}, {"DC:TITLE", "x"}, {"dc:creator", "Hoogmeer, TW"}},
                    "133869 -  - Hoogmeer, TW"},
        ComposeCase{"identifier_title_no_title", 1, 1, 0, Without(kSamples, "dc:title"), "133869 -"},
        ComposeCase{"all_no_title", 1, 1, 1, Without(kSamples, "dc:title"), "133869 -  - Hoogmeer, TW"},
        ComposeCase{"title_with_blanks", 1, 1, 1,
                    {{"dc:identifier", "133869"},
                     {"dc:title", " Het raadsel van de blauwe sluis "},
                     {"dc:creator", "Hoogmeer, TW"}},
                    "133869 -  Het raadsel van de blauwe sluis  - Hoogmeer, TW"},
        ComposeCase{"no_creator", 1, 1, 1, Without(kSamples, "dc:creator"), "133869 - Het raadsel van de blauwe sluis -"},
        ComposeCase{"title_only_no_title_set", 0, 1, 0, {{"ncc:setInfo", "2 of 3"}}, "- 2 of 3"},
        ComposeCase{"title_only_nothing", 0, 1, 0, {{"ncc:setInfo", "1 of 1"}}, ""},
        ComposeCase{"title_only_nothing_at_all", 0, 1, 0, {}, ""},
        ComposeCase{"title_of_blanks", 0, 1, 0, {{"dc:title", "   \t "}}, ""}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Further, Compose,
    testing::Values(
        ComposeCase{"switches_any_non_zero", -1, 2, 0x10000, kSamples, kFull},
        ComposeCase{"no_switches_set_only", 0, 0, 0, With(kSamples, {{"ncc:setInfo", "2 of 3"}}), "- 2 of 3"},
        ComposeCase{"empty_first_identifier_falls_back", 1, 0, 0,
                    {{"dc:identifier", ""}, {"ncc:identifier", "N1"}}, "N1"},
        ComposeCase{"blank_identifier_counts_as_text", 1, 1, 0,
                    {{"dc:identifier", " "}, {"ncc:identifier", "N1"}, {"dc:title", "T"}}, "- T"},
        ComposeCase{"first_creator_empty_wins_over_second", 0, 0, 1,
                    {{"dc:creator", ""}, {"dc:creator", "B"}, {"ncc:creator", "C"}}, "C"},
        ComposeCase{"trims_all_six_blanks", 0, 1, 0, {{"dc:title", "\t\n\v\f\r T \r\f\v\n\t"}}, "T"},
        ComposeCase{"keeps_inner_control_white_space", 0, 1, 0, {{"dc:title", "a\tb"}}, "a\tb"}),
    [](const auto& info) { return std::string(info.param.label); });

struct CleanCase
{
    const char* label;
    std::string in;
    std::string out;
};

class Clean : public testing::TestWithParam<CleanCase>
{};

TEST_P(Clean, ReplacesInPlaceKeepingLength)
{
    std::string name = GetParam().in;
    MakeValidFolderName(name);
    EXPECT_EQ(name, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, Clean,
    testing::Values(CleanCase{"all_ten", "\\/:*?\"<>|.", "__________"},
                    CleanCase{"colon_and_three_dots", "Deel 2: Wat nu...", "Deel 2_ Wat nu___"},
                    CleanCase{"comma_and_blank_stay", "Hoogmeer, TW", "Hoogmeer, TW"},
                    CleanCase{"letters_beyond_ascii_stay", "Caf\xE9 \x80 \x81 \xFF", "Caf\xE9 \x80 \x81 \xFF"},
                    CleanCase{"controls", "a\x01\tb\nc\x1b[0m\x7f", "a__b_c_[0m_"},
                    CleanCase{"nul", std::string("a\0b", 3), "a_b"}),
    [](const auto& info) { return std::string(info.param.label); });

// Metadata made to escape the output folder.
struct HostileCase
{
    const char* label;
    int switches; // 1 identifier, 2 title, 4 author
    Metas metas;
    std::string folder; // the last path part, in UTF-8; "" when no name
};

class Hostile : public testing::TestWithParam<HostileCase>
{};

TEST_P(Hostile, StaysOneFolderBelowOutput)
{
    const HostileCase& c = GetParam();
    std::string name = MakeFolderName(c.switches & 1, c.switches & 2, c.switches & 4, ListOf(c.metas));
    if (c.folder.empty()) {
        EXPECT_EQ(name, "");
        return;
    }
    MakeValidFolderName(name);
    EXPECT_EQ(MakeDestinationPath("/home/lezer/Boeken/", name), "/home/lezer/Boeken/" + c.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Metadata, Hostile,
    testing::Values(HostileCase{"parent_folders", 2, {{"dc:title", "../../etc"}}, "______etc"},
                    HostileCase{"root", 1, {{"dc:identifier", "/"}}, "_"},
                    HostileCase{"dot", 2, {{"dc:title", "."}}, "_"},
                    HostileCase{"dot_dot", 4, {{"dc:creator", ".."}}, "__"},
                    HostileCase{"dots_in_all_parts", 7,
                                {{"dc:identifier", "."}, {"dc:title", ".."}, {"dc:creator", "..."}}, "_ - __ - ___"},
                    HostileCase{"absolute_path", 2, {{"dc:title", "/etc/passwd"}}, "_etc_passwd"},
                    HostileCase{"backslashes", 2, {{"dc:title", "..\\..\\x"}}, "______x"},
                    HostileCase{"high_bytes_around_slash", 2, {{"dc:title", "\xE9/\x80"}}, "\xC3\xA9_\xE2\x82\xAC"},
                    HostileCase{"control_characters", 2, {{"dc:title", "a\nb\x1b"}}, "a_b_"},
                    HostileCase{"separators_only", 7, {{"dc:title", " "}}, "-"},
                    HostileCase{"only_blanks", 2, {{"dc:title", " \t\r\n"}}, ""},
                    HostileCase{"nothing", 7, {}, ""},
                    HostileCase{"set_info_only_dots", 0, {{"ncc:setInfo", ".."}}, "- __"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DestinationPath, JoinsWithOneSlash)
{
    EXPECT_EQ(MakeDestinationPath("/boeken/", "Titel"), "/boeken/Titel");
    EXPECT_EQ(MakeDestinationPath("/boeken", "Titel"), "/boeken/Titel");
    EXPECT_EQ(MakeDestinationPath("/", "Titel"), "/Titel");
}

TEST(DestinationPath, RefusesWhatIsNoSingleFolderName)
{
    for (const std::string& name : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                    std::string("/"), std::string("a\0b", 3)})
        EXPECT_EQ(MakeDestinationPath("/boeken/", name), "") << name;
    EXPECT_EQ(MakeDestinationPath("", "Titel"), "");
}

// From the bytes of an ncc.html to the folder on disk, for both encodings.
TEST(NccToFolder, CafeArrivesAsUtf8)
{
    for (const std::string declaration : {"<?xml version=\"1.0\" encoding=\"utf-8\"?>",
                                          "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"}) {
        const bool utf8 = declaration.find("utf-8") != std::string::npos;
        const std::string cafe = utf8 ? "Caf\xC3\xA9" : "Caf\xE9";
        CNccReader reader;
        ASSERT_TRUE(reader.ReadNccBytes(declaration + "<html><head><title>" + cafe +
                                        "</title><meta name=\"dc:title\" content=\"" + cafe +
                                        "\"/></head></html>"));
        std::string name = MakeFolderName(0, 1, 0, reader.MetaList());
        MakeValidFolderName(name);
        EXPECT_EQ(MakeDestinationPath("/home/lezer/Boeken/", name), "/home/lezer/Boeken/Caf\xC3\xA9") << declaration;
        EXPECT_EQ(AnsiToUtf8(reader.BookTitle()), "Caf\xC3\xA9") << declaration;
    }
}

struct ConvertCase
{
    std::string ansi;
    std::string utf8;
};

void PrintTo(const ConvertCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.ansi);
}

class ToUtf8 : public testing::TestWithParam<ConvertCase>
{};

TEST_P(ToUtf8, Bytes)
{
    EXPECT_EQ(AnsiToUtf8(GetParam().ansi), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Windows1252, ToUtf8,
    testing::Values(ConvertCase{"Caf\xE9", "Caf\xC3\xA9"},
                    ConvertCase{"\x80", "\xE2\x82\xAC"},
                    ConvertCase{"\x93\x94", "\xE2\x80\x9C\xE2\x80\x9D"},
                    ConvertCase{"\x8A\x9F", "\xC5\xA0\xC5\xB8"},
                    ConvertCase{"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
                    ConvertCase{"\xA0\xFF", "\xC2\xA0\xC3\xBF"},
                    ConvertCase{"", ""}));

} // namespace
