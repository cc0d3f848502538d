// Folder names from metadata: the composition table, the cleaning, the
// fitting to Linux's limits, and that hostile metadata can only ever give
// one folder directly below the output folder.
#include "naming/FolderName.h"

#include "book/NccReader.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Test output names a case by its label instead of dumping its bytes.
template <typename Case>
    requires requires(const Case& c) { c.label; }
PRINT_CASE_AS(Case, label)

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

// The name the product gives a book, shown without its output folder.
std::string ComposedName(int id, int title, int creator, const CMetaList& list)
{
    return FitFolderName(ComposeFolderNameParts(id, title, creator, list), "/b/").name;
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
    EXPECT_EQ(ComposedName(c.id, c.title, c.creator, ListOf(c.metas)), c.name);
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
        ComposeCase{"keeps_inner_control_white_space", 0, 1, 0, {{"dc:title", "a\tb"}}, "a_b"}),
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
                    CleanCase{"letters_beyond_latin_1_stay", "Caf\xC3\xA9 \xC5\x81 \xE2\x82\xAC \xF0\x9F\x93\x96",
                              "Caf\xC3\xA9 \xC5\x81 \xE2\x82\xAC \xF0\x9F\x93\x96"},
                    CleanCase{"controls", "a\x01\tb\nc\x1b[0m\x7f", "a__b_c_[0m_"},
                    // One character each, so one underscore each.
                    CleanCase{"c1_controls", "a\xC2\x80\xC2\x85" "b\xC2\x9F\xC2\xA0", "a__b_\xC2\xA0"},
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
    std::string name = ComposedName(c.switches & 1, c.switches & 2, c.switches & 4, ListOf(c.metas));
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
                    HostileCase{"letters_around_slash", 2, {{"dc:title", "\xC3\xA9/\xE2\x82\xAC"}}, "\xC3\xA9_\xE2\x82\xAC"},
                    HostileCase{"c1_next_line", 2, {{"dc:title", "a\xC2\x85" "b"}}, "a_b"},
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
        const FittedFolderName fitted = FitFolderName(ComposeFolderNameParts(0, 1, 0, reader.MetaList()), "/home/lezer/Boeken/");
        EXPECT_EQ(fitted.path, "/home/lezer/Boeken/Caf\xC3\xA9") << declaration;
        EXPECT_EQ(reader.BookTitle(), "Caf\xC3\xA9") << declaration;
    }
}

// Fitting to NAME_MAX and PATH_MAX with room for "_NNN": 251 bytes of name
// at most, and folder + '/' + name + 4 + NUL within 4096.
struct FitCase
{
    const char* label;
    FolderNameParts parts;
    std::size_t folderBytes; // length of the output folder, '/' included
    FolderNameFit fit;
    std::string name;
};

std::string Times(const std::string& part, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += part;
    return out;
}

const std::string kE = "\xC3\xA9";       // two bytes
const std::string kEuro = "\xE2\x82\xAC"; // three bytes

class Fit : public testing::TestWithParam<FitCase>
{};

TEST_P(Fit, ShortensOnlyTheTitle)
{
    const FitCase& c = GetParam();
    const std::string folder = "/" + std::string(c.folderBytes - 2, 'm') + "/";
    const FittedFolderName fitted = FitFolderName(c.parts, folder);
    EXPECT_EQ(fitted.fit, c.fit);
    EXPECT_EQ(fitted.name, c.name);
    EXPECT_EQ(fitted.path, c.name.empty() ? "" : folder + c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, Fit,
    testing::Values(
        FitCase{"short_unchanged", {"1 - ", "Titel", " - A"}, 20, FolderNameFit::Fits, "1 - Titel - A"},
        FitCase{"exactly_251_unchanged", {"", std::string(251, 't'), ""}, 20, FolderNameFit::Fits, std::string(251, 't')},
        FitCase{"252_loses_one", {"", std::string(252, 't'), ""}, 20, FolderNameFit::Shortened, std::string(251, 't')},
        FitCase{"accented_200_letters", {"", Times(kE, 200), ""}, 20, FolderNameFit::Shortened, Times(kE, 125)},
        FitCase{"cut_before_a_split_character", {"", "a" + Times(kEuro, 100), ""}, 20, FolderNameFit::Shortened,
                "a" + Times(kEuro, 83)},
        FitCase{"set_stays_whole", {"ID - ", Times(kE, 200), " - Auteur - 2 of 3"}, 20, FolderNameFit::Shortened,
                "ID - " + Times(kE, 114) + " - Auteur - 2 of 3"},
        FitCase{"cut_leaves_no_blank", {"", std::string(241, 'w') + " woord", " - 2 of 3"}, 20,
                FolderNameFit::Shortened, std::string(241, 'w') + " - 2 of 3"},
        FitCase{"title_cut_to_nothing_at_the_end", {"ID -", std::string(300, ' ') + "x", ""}, 20,
                FolderNameFit::Shortened, "ID -"},
        FitCase{"c1_counted_after_replacing", {"", Times("\xC2\x85", 251), ""}, 20, FolderNameFit::Fits,
                std::string(251, '_')},
        FitCase{"path_limit", {"", std::string(200, 't'), ""}, 4000, FolderNameFit::Shortened, std::string(91, 't')},
        FitCase{"path_limit_exact", {"", std::string(91, 't'), ""}, 4000, FolderNameFit::Fits, std::string(91, 't')},
        FitCase{"no_title_fits", {std::string(248, 'i') + " - ", "Titel", " - 2 of 3"}, 20, FolderNameFit::TooLong, ""},
        FitCase{"folder_too_long", {"", "t", ""}, 4091, FolderNameFit::TooLong, ""},
        FitCase{"blank_parts_no_name", {" ", "\t", ""}, 20, FolderNameFit::NoName, ""}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
