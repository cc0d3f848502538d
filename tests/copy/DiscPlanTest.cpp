// Planning a disc: which books it gives, where each goes, and why one is
// not copied. The copy window and the archive station both plan this way.
#include "copy/DiscPlan.h"

#include "support/TableCases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using copy::PlanRefusal;

std::string Ncc(const std::string& id, const std::string& title)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html><head><title>" + title +
           "</title>\n<meta name=\"dc:identifier\" content=\"" + id + "\" />\n<meta name=\"dc:title\" content=\"" +
           title + "\" />\n<meta name=\"dc:creator\" content=\"A\" />\n</head><body></body></html>\n";
}

std::string DiscInfo(const std::vector<std::string>& links)
{
    std::string text = "<html><head><title>Schijf</title></head><body>";
    for (const std::string& link : links)
        text += "<p><a href=\"" + link + "\">" + link.substr(0, link.find('/')) + "</a></p>";
    return text + "</body></html>";
}

struct PlannedRow
{
    std::string name;
    PlanRefusal refusal;
    std::string dest; // below the output folder; "" when refused
};

struct PlanCase
{
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::string bookFile;
    bool indexUnreadable;
    std::vector<PlannedRow> books;
};
PRINT_CASE_AS(PlanCase, name)

const std::string kLong(300, 'x');

const PlanCase kPlans[] = {
    {"OneBook", {{"ncc.html", Ncc("7", "Boek")}}, "ncc.html", false, {{"schijf", PlanRefusal::None, "7 - Boek - A"}}},
    {"OneBookThatIsNoXml", {{"ncc.html", "geen xml"}}, "ncc.html", false, {{"schijf", PlanRefusal::Unreadable, ""}}},
    {"OneBookWithoutAnyName",
     {{"ncc.html", "<html><head><title></title></head><body></body></html>"}},
     "ncc.html",
     false,
     {{"schijf", PlanRefusal::NoName, ""}}},
    {"OneBookNamedTooLongEvenWithoutTitle",
     {{"ncc.html", Ncc(kLong, "Boek")}},
     "ncc.html",
     false,
     {{"schijf", PlanRefusal::NameTooLong, ""}}},
    {"ListedBooksInTheIndexOrder",
     {{"discinfo.html", DiscInfo({"b/ncc.html", "a/ncc.html"})},
      {"a/ncc.html", Ncc("1", "Een")},
      {"b/ncc.html", Ncc("2", "Twee")}},
     "discinfo.html",
     false,
     {{"b", PlanRefusal::None, "2 - Twee - A"}, {"a", PlanRefusal::None, "1 - Een - A"}}},
    {"ListedBookMissing",
     {{"discinfo.html", DiscInfo({"weg/ncc.html", "a/ncc.html"})}, {"a/ncc.html", Ncc("1", "Een")}},
     "discinfo.html",
     false,
     {{"weg", PlanRefusal::NotOnDisc, ""}, {"a", PlanRefusal::None, "1 - Een - A"}}},
    // On a stick that ignores letter case the second would mix into the
    // first, also where the letters are not ASCII.
    {"SameFolderWhateverTheLetterCase",
     {{"discinfo.html", DiscInfo({"a/ncc.html", "b/ncc.html", "c/ncc.html", "d/ncc.html"})},
      {"a/ncc.html", Ncc("1", "Het Boek")},
      {"b/ncc.html", Ncc("1", "het boek")},
      {"c/ncc.html", Ncc("2", "\xC3\x89\xC3\xA9n")},
      {"d/ncc.html", Ncc("2", "\xC3\xA9\xC3\xA9n")}},
     "discinfo.html",
     false,
     {{"a", PlanRefusal::None, "1 - Het Boek - A"},
      {"b", PlanRefusal::SameFolder, ""},
      {"c", PlanRefusal::None, "2 - \xC3\x89\xC3\xA9n - A"},
      {"d", PlanRefusal::SameFolder, ""}}},
    {"ListedBookUnreadable",
     {{"discinfo.html", DiscInfo({"kapot/ncc.html"})}, {"kapot/ncc.html", "<html><head>"}},
     "discinfo.html",
     false,
     {{"kapot", PlanRefusal::Unreadable, ""}}},
    {"IndexNamingNoBook", {{"discinfo.html", DiscInfo({})}}, "discinfo.html", true, {}},
};

class DiscPlanning : public testing::TestWithParam<PlanCase>
{};

TEST_P(DiscPlanning, GivesEachBookItsFolderOrItsReason)
{
    const PlanCase& c = GetParam();
    CTempDir dir;
    const std::string root = dir / "schijf/";
    for (const auto& [name, bytes] : c.files)
        dir.Write("schijf/" + name, bytes);
    const std::string output = dir / "uit/";
    CSettings naming;
    naming.UseIdentifier = naming.UseTitle = naming.UseCreator = 1;

    const copy::DiscPlan plan = copy::PlanDisc(root, root + c.bookFile, naming, output);

    EXPECT_EQ(c.indexUnreadable, plan.indexUnreadable);
    ASSERT_EQ(c.books.size(), plan.books.size());
    for (std::size_t i = 0; i < c.books.size(); ++i) {
        SCOPED_TRACE(c.books[i].name);
        EXPECT_EQ(c.books[i].name, plan.books[i].name);
        EXPECT_EQ(c.books[i].refusal, plan.books[i].refusal);
        EXPECT_EQ(c.books[i].dest.empty() ? "" : output + c.books[i].dest, plan.books[i].dest);
        if (plan.books[i].refusal == PlanRefusal::Unreadable) {
            EXPECT_FALSE(plan.books[i].reason.empty()) << "the reader's words say why";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Discs, DiscPlanning, testing::ValuesIn(kPlans), CaseName());

} // namespace
