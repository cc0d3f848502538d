// The readers of a disc's package file and discinfo.html, and how a disc
// with several books is listed: what each takes, what each refuses.
#include "book/DiscBooks.h"
#include "book/DiscInfoReader.h"
#include "book/PackageReader.h"
#include "naming/FolderName.h"
#include "support/TempDir.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename Case>
    requires requires(const Case& c) { c.label; }
PRINT_CASE_AS(Case, label)

using Metas = std::vector<std::pair<std::string, std::string>>;

std::string Opf(const std::string& packageAttributes, const std::string& dcMetadata)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<package xmlns=\"http://openebook.org/namespaces/oeb-package/1.0/\"" +
           packageAttributes + ">\n<metadata>\n<dc-metadata xmlns:dc=\"http://purl.org/dc/elements/1.0/\">\n" +
           dcMetadata + "</dc-metadata>\n</metadata>\n<manifest/>\n<spine/>\n</package>\n";
}

struct PackageCase
{
    const char* label;
    std::string file;
    PackageFailure failure;
    std::string title;
    Metas metas;
};

class PackageFiles : public testing::TestWithParam<PackageCase>
{};

TEST_P(PackageFiles, GiveTheNccMetaNamesOrAReason)
{
    const PackageCase& c = GetParam();
    CPackageReader reader;
    EXPECT_EQ(c.failure == PackageFailure::None, reader.ReadPackageBytes(c.file));
    EXPECT_EQ(c.failure, reader.LastFailure());
    EXPECT_EQ(c.title, reader.BookTitle());
    Metas metas;
    for (const CMetaItem& item : reader.MetaList())
        metas.emplace_back(item.m_strName, item.m_strContent);
    EXPECT_EQ(c.metas, metas);
}

INSTANTIATE_TEST_SUITE_P(
    Metadata, PackageFiles,
    testing::Values(
        PackageCase{"DAISY 3 package",
                    Opf(" unique-identifier=\"uid\"",
                        "<dc:Format>ANSI/NISO Z39.86-2005</dc:Format><dc:Identifier id=\"uid\">NL-0042</dc:Identifier>"
                        "<dc:Title>De sluis</dc:Title><dc:Creator>Hoogmeer, T</dc:Creator><dc:Creator>Ander</dc:Creator>"),
                    PackageFailure::None, "De sluis",
                    {{"dc:identifier", "NL-0042"}, {"dc:title", "De sluis"}, {"dc:creator", "Hoogmeer, T"}}},
        PackageCase{"unique-identifier names the second identifier",
                    Opf(" unique-identifier=\"b\"",
                        "<dc:Identifier id=\"a\">isbn</dc:Identifier><dc:Identifier id=\"b\">boek-7</dc:Identifier>"
                        "<dc:Title>T</dc:Title>"),
                    PackageFailure::None, "T", {{"dc:identifier", "boek-7"}, {"dc:title", "T"}}},
        PackageCase{"unique-identifier names nothing: the first",
                    Opf(" unique-identifier=\"zz\"",
                        "<dc:Identifier id=\"a\">eerste</dc:Identifier><dc:Identifier>tweede</dc:Identifier>"),
                    PackageFailure::None, "", {{"dc:identifier", "eerste"}}},
        PackageCase{"OPF 2 layout, small letters, entities",
                    "<?xml version=\"1.0\"?><package version=\"2.0\" unique-identifier=\"id\"><metadata xmlns:dc=\"x\">"
                    "<dc:title>Kat &amp; Muis</dc:title><dc:identifier id=\"id\">9</dc:identifier>"
                    "<dc:creator opf:role=\"aut\">Caf&#233;</dc:creator></metadata></package>",
                    PackageFailure::None, "Kat & Muis",
                    {{"dc:identifier", "9"}, {"dc:title", "Kat & Muis"}, {"dc:creator", "Caf\xC3\xA9"}}},
        PackageCase{"metadata end tag in a comment before the metadata",
                    "<opf:package><!-- </opf:metadata> --><opf:metadata><dc:Title>T</dc:Title></opf:metadata>"
                    "<manifest/></opf:package>",
                    PackageFailure::None, "T", {{"dc:title", "T"}}},
        PackageCase{"what follows the metadata is never parsed",
                    "<package><metadata><dc:Title>T</dc:Title></metadata><manifest><item></package>",
                    PackageFailure::None, "T", {{"dc:title", "T"}}},
        PackageCase{"other Dublin Core terms only", Opf("", "<dc:Language>nl</dc:Language>"),
                    PackageFailure::NoMetadata, "", {}},
        PackageCase{"no metadata at all", "<package><manifest/></package>", PackageFailure::NoMetadata, "", {}},
        PackageCase{"an ncc.html is no package", "<html><head><title>x</title></head></html>",
                    PackageFailure::NoPackage, "", {}},
        PackageCase{"not XML", "<package><metadata>", PackageFailure::File, "", {}},
        PackageCase{"empty", "", PackageFailure::File, "", {}},
        PackageCase{"only opening brackets", std::string(5000, '<'), PackageFailure::NoPackage, "", {}},
        PackageCase{"nested beyond the limit",
                    [] {
                        std::string deep;
                        for (int i = 0; i < 2000; ++i)
                            deep += "<a>";
                        return "<package>" + deep + "</package>";
                    }(),
                    PackageFailure::File, "", {}}));

TEST(PackageFile, TooLargeOrAPipeIsRefusedWithoutReadingIt)
{
    CTempDir dir;
    const std::string big = dir.Write("big.opf", "<package/>");
    ASSERT_EQ(0, ::truncate(big.c_str(), static_cast<off_t>(kMaxXmlBytes) + 1));
    const std::string pipe = dir / "pipe.opf";
    ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
    CPackageReader reader;
    EXPECT_FALSE(reader.ReadPackage(big));
    EXPECT_EQ(XmlFailure::TooLarge, reader.FileFailure());
    EXPECT_FALSE(reader.ReadPackage(pipe));
    EXPECT_EQ(XmlFailure::CannotOpen, reader.FileFailure());
}

TEST(PackageFile, NamesTheFolderAsAnNccWould)
{
    CTempDir dir;
    const std::string path =
        dir.Write("boek.opf", Opf("", "<dc:Identifier>NL-1</dc:Identifier><dc:Title>Caf\xC3\xA9 Noord</dc:Title>"
                                      "<dc:Creator>Smit, A</dc:Creator>"));
    CBookInfo book;
    ASSERT_TRUE(ReadBookFile(path, book));
    EXPECT_EQ("NL-1 - Caf\xC3\xA9 Noord - Smit, A", FitFolderName(ComposeFolderNameParts(1, 1, 1, book.metaList), "/b/").name);
    EXPECT_EQ("Caf\xC3\xA9 Noord", book.title);
}

struct LinkCase
{
    const char* label;
    const char* href;
    const char* folder;  // nullptr: refused
    const char* file = "ncc.html";
};

class BookLinks : public testing::TestWithParam<LinkCase>
{};

TEST_P(BookLinks, NameAFolderOnTheDiscOrAreRefused)
{
    const LinkCase& c = GetParam();
    std::string folder = "unchanged", file;
    EXPECT_EQ(c.folder != nullptr, ParseBookLink(c.href, folder, file));
    if (c.folder != nullptr) {
        EXPECT_EQ(c.folder, folder);
        EXPECT_EQ(c.file, file);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, BookLinks,
    testing::Values(LinkCase{"plain", "boek1/ncc.html", "boek1/"},
                    LinkCase{"capitals and a dot segment", "./Boek1/NCC.HTML", "Boek1/", "NCC.HTML"},
                    LinkCase{"escaped blank and a fragment", "boek%201/ncc.html#top", "boek 1/"},
                    LinkCase{"package file two folders down", "cd/boek/speech.opf", "cd/boek/", "speech.opf"},
                    LinkCase{"parent folder", "../boek/ncc.html", nullptr},
                    LinkCase{"parent folder further in", "boek/../../x/ncc.html", nullptr},
                    LinkCase{"escaped parent folder", "%2e%2e/boek/ncc.html", nullptr},
                    LinkCase{"escaped slash to the parent", "..%2fboek/ncc.html", nullptr},
                    LinkCase{"absolute path", "/etc/ncc.html", nullptr},
                    LinkCase{"other scheme", "http://example.org/boek/ncc.html", nullptr},
                    LinkCase{"file scheme", "file:///media/cd/boek/ncc.html", nullptr},
                    LinkCase{"drive letter", "C:/boek/ncc.html", nullptr},
                    LinkCase{"Windows separators", "boek\\ncc.html", nullptr},
                    LinkCase{"the root's own book", "ncc.html", nullptr},
                    LinkCase{"itself", "discinfo.html", nullptr},
                    LinkCase{"no book file", "boek/smil0001.smil", nullptr},
                    LinkCase{"a folder", "boek/", nullptr},
                    LinkCase{"empty segment", "boek//ncc.html", nullptr},
                    LinkCase{"query", "boek/ncc.html?x=1", nullptr},
                    LinkCase{"escaped NUL", "boek%00/ncc.html", nullptr},
                    LinkCase{"broken escape", "boek%g1/ncc.html", nullptr},
                    LinkCase{"escape cut short", "boek/ncc.html%2", nullptr},
                    LinkCase{"empty", "", nullptr},
                    LinkCase{"only a fragment", "#boek", nullptr}), [](const testing::TestParamInfo<LinkCase>& row) { return RowName(row.param.label); });

TEST(DiscInfo, ListsBooksInOrderSkippingRepeatsAndStrangers)
{
    CDiscInfoReader reader;
    ASSERT_TRUE(reader.ReadDiscInfoBytes(
        "<html><head><title>Schijf</title></head><body><ul>"
        "<li><a href=\"b2/ncc.html\">Tweede\n  <em>boek</em></a></li>"
        "<li><p><a href=\"b1/book.opf\">Eerste</a></p></li>"
        "<li><a href=\"./b2/ncc.html#x\">weer het tweede</a></li>"
        "<li><a href=\"../b3/ncc.html\">weg</a></li><li><a name=\"anker\">geen link</a></li>"
        "<li><a href=\"discinfo.html\">zichzelf</a></li></ul></body></html>"));
    ASSERT_EQ(2u, reader.Books().size());
    EXPECT_EQ("b2/", reader.Books()[0].folder);
    EXPECT_EQ("Tweede boek", reader.Books()[0].label);
    EXPECT_EQ("b1/", reader.Books()[1].folder);
    EXPECT_EQ("book.opf", reader.Books()[1].file);
    EXPECT_EQ((std::vector<std::string>{"./b2/ncc.html#x", "../b3/ncc.html", "discinfo.html"}), reader.Skipped());
}

TEST(DiscInfo, WithoutBooksOrXmlIsRefused)
{
    std::string deep;
    for (int i = 0; i < 1500; ++i)
        deep += "<div>";
    deep += "<a href=\"b/ncc.html\">diep</a>";
    for (const std::string& bad : {std::string("<html><body><a href=\"../x/ncc.html\">x</a></body></html>"),
                                   std::string("<html><body>"), std::string("geen html"), std::string(), deep}) {
        CDiscInfoReader reader;
        EXPECT_FALSE(reader.ReadDiscInfoBytes(bad)) << bad.substr(0, 60);
        EXPECT_TRUE(reader.Books().empty());
    }
}

TEST(DiscBooks, OnlyBooksPresentInsideTheDiscAreFound)
{
    CTempDir dir;
    const std::string root = dir.Dir("cd") + "/";
    dir.Write("cd/een/NCC.HTML", "<html/>");
    dir.Write("buiten/ncc.html", "<html/>");
    dir.Dir("cd/leeg");
    std::filesystem::create_directory_symlink(dir / "buiten", dir / "cd/uit");
    const std::string index = dir.Write(
        "cd/discinfo.html", "<html><body><a href=\"een/ncc.html\">Een</a><a href=\"leeg/ncc.html\"></a>"
                            "<a href=\"uit/ncc.html\">Uit</a><a href=\"weg/ncc.html\">Weg</a></body></html>");
    std::vector<CDiscBook> books;
    ASSERT_TRUE(ListDiscBooks(root, index, books));
    ASSERT_EQ(4u, books.size());
    EXPECT_TRUE(books[0].found);
    EXPECT_EQ(root + "een/NCC.HTML", books[0].bookFile) << "the name as stored on the disc";
    EXPECT_EQ(root + "een/", books[0].folder);
    EXPECT_FALSE(books[1].found) << "no book file";
    EXPECT_EQ("leeg", books[1].name) << "a link without text is named by its folder";
    EXPECT_FALSE(books[2].found) << "a link that leads off the disc";
    EXPECT_FALSE(books[3].found) << "a folder that is not there";
}

TEST(BookFiles, KindFollowsTheName)
{
    EXPECT_EQ(BookFileKind::Ncc, KindOfBookFile("/cd/NCC.HTML"));
    EXPECT_EQ(BookFileKind::Package, KindOfBookFile("/cd/Boek.OPF"));
    EXPECT_EQ(BookFileKind::DiscInfo, KindOfBookFile("/cd/DiscInfo.html"));
}

} // namespace
