// The NCC reader: what it takes from a document, what it refuses, and that
// no input makes it crash, hang or read outside its buffer (this program
// also runs under valgrind, which sees reads inside the system TinyXML).
#include "book/NccReader.h"
#include "text/BookText.h"
#include "support/TinyXmlTree.h"
#include "support/TempDir.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Test output names a case by its label instead of dumping its bytes.
template <typename Case>
    requires requires(const Case& c) { c.label; }
PRINT_CASE_AS(Case, label)

namespace fs = std::filesystem;

using Metas = std::vector<std::pair<std::string, std::string>>;

std::string Head(const std::string& inside)
{
    return "<html><head>" + inside + "</head><body><h1>x</h1></body></html>";
}

Metas MetasOf(const CNccReader& reader)
{
    Metas metas;
    for (const CMetaItem& item : reader.MetaList())
        metas.emplace_back(item.m_strName, item.m_strContent);
    return metas;
}

using TempFolder = CTempDir;

// ---------------------------------------------------------------------------
// Documents that are read: title and meta list.

struct ReadCase
{
    const char* label;
    std::string file;
    std::string title;
    Metas metas;
};

class ReadsDocument : public testing::TestWithParam<ReadCase>
{};

TEST_P(ReadsDocument, TitleAndMetaList)
{
    const ReadCase& c = GetParam();
    CNccReader reader;
    ASSERT_TRUE(reader.ReadNccBytes(c.file)) << DescribeXmlFailure(reader.LastFailure());
    EXPECT_EQ(reader.BookTitle(), c.title);
    EXPECT_EQ(MetasOf(reader), c.metas);
}

const std::string kUtf8Decl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
const std::string kLatinDecl = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n";

INSTANTIATE_TEST_SUITE_P(
    Title, ReadsDocument,
    testing::Values(
        ReadCase{"plain", Head("<title>De ontdekking</title>"), "De ontdekking", {}},
        ReadCase{"empty", Head("<title></title><meta name=\"a\" content=\"b\"/>"), "", {{"a", "b"}}},
        ReadCase{"comment_first", Head("<title><!--x-->Naam</title><meta name=\"a\" content=\"b\"/>"), "",
                 {{"a", "b"}}},
        ReadCase{"element_first", Head("<title><b>Naam</b></title>"), "", {}},
        ReadCase{"across_lines", Head("<title>  Het\n  raadsel  \n</title>"), "  Het\n  raadsel  \n", {}},
        ReadCase{"crlf_and_cr_become_lf", Head("<title>a\r\nb\rc</title>"), "a\nb\nc", {}},
        ReadCase{"ampersand", Head("<title>Jip &amp; Janneke</title>"), "Jip & Janneke", {}},
        // TinyXML's own way with a bare '&': it is left out.
        ReadCase{"bare_ampersand_dropped", Head("<title>Jip & Janneke</title>"), "Jip  Janneke", {}},
        ReadCase{"cdata", Head("<title><![CDATA[a <b> & c]]></title>"), "a <b> & c", {}},
        ReadCase{"doctype_and_comments_before",
                 kUtf8Decl + "<!DOCTYPE html>\n<!-- ncc -->\n" + Head("<title>T</title>"), "T", {}},
        ReadCase{"title_after_other_head_nodes", Head("<!-- titel -->\n<meta name=\"a\" content=\"b\"/><title>T</title>"),
                 "T", {{"a", "b"}}},
        ReadCase{"text_after_root_is_ignored", Head("<title>T</title>") + " trailing words", "T", {}},
        ReadCase{"nul_byte_ends_the_text", Head("<title>T</title>") + std::string("\0<junk", 6), "T", {}}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Meta, ReadsDocument,
    testing::Values(
        ReadCase{"name_then_content", Head("<title>T</title><meta name=\"dc:title\" content=\"X\"/>"), "T",
                 {{"dc:title", "X"}}},
        ReadCase{"content_then_name", Head("<title>T</title><meta content=\"X\" name=\"dc:title\"/>"), "T",
                 {{"dc:title", "X"}}},
        ReadCase{"third_attribute_after", Head("<title>T</title><meta name=\"dc:title\" content=\"X\" lang=\"nl\"/>"),
                 "T", {{"dc:title", "X"}}},
        ReadCase{"third_attribute_first", Head("<title>T</title><meta lang=\"nl\" name=\"dc:title\" content=\"X\"/>"),
                 "T", {}},
        ReadCase{"content_type", Head("<title>T</title><meta http-equiv=\"Content-type\" content=\"text/html\"/>"), "T",
                 {}},
        ReadCase{"name_only", Head("<title>T</title><meta name=\"dc:title\"/>"), "T", {}},
        ReadCase{"capital_attribute", Head("<title>T</title><meta Name=\"dc:title\" content=\"X\"/>"), "T", {}},
        ReadCase{"name_name", Head("<title>T</title><meta name=\"a\" name2=\"b\"/>"), "T", {}},
        ReadCase{"capital_element", Head("<title>T</title><META name=\"a\" content=\"b\"/>"), "T", {}},
        ReadCase{"in_body_or_nested",
                 "<html><head><title>T</title><div><meta name=\"a\" content=\"1\"/></div></head>"
                 "<body><meta name=\"b\" content=\"2\"/></body></html>",
                 "T", {}},
        ReadCase{"duplicates_kept_in_order",
                 Head("<title>T</title><meta name=\"dc:creator\" content=\"\"/><meta name=\"dc:creator\" content=\"B\"/>"),
                 "T", {{"dc:creator", ""}, {"dc:creator", "B"}}},
        ReadCase{"values_kept_as_written", Head("<title>T</title><meta name=\" a \" content=\"  b\nc \"/>"), "T",
                 {{" a ", "  b\nc "}}},
        ReadCase{"single_quotes_and_entities",
                 Head("<title>T</title><meta name='x' content='&lt;&quot;&amp;&apos;&gt;'/>"), "T",
                 {{"x", "<\"&'>"}}}),
    [](const auto& info) { return std::string(info.param.label); });

// Text reaches the list as UTF-8 whatever the file's encoding.
INSTANTIATE_TEST_SUITE_P(
    Encoding, ReadsDocument,
    testing::Values(
        ReadCase{"utf8_declared", kUtf8Decl + Head("<title>Caf\xC3\xA9</title><meta name=\"n\" content=\"\xC3\xA9\xC3\xA8\"/>"),
                 "Caf\xC3\xA9", {{"n", "\xC3\xA9\xC3\xA8"}}},
        ReadCase{"utf8_bom", "\xEF\xBB\xBF" + Head("<title>Caf\xC3\xA9</title>"), "Caf\xC3\xA9", {}},
        ReadCase{"beyond_latin_1", kUtf8Decl + Head("<title>\xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC \xCE\x91\xD0\x96 \xC4\xB1</title>"),
                 "\xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC \xCE\x91\xD0\x96 \xC4\xB1", {}},
        ReadCase{"windows_1252_declared", kLatinDecl + Head("<title>Caf\xE9 \x80 \x93x\x94</title>"),
                 "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D", {}},
        ReadCase{"windows_1252_undeclared", Head("<title>Br\xFCll</title>"), "Br\xC3\xBCll", {}},
        ReadCase{"windows_1252_pair_that_looks_like_utf8", kLatinDecl + Head("<title>\xC3\xA9</title>"), "\xC3\xA9", {}},
        ReadCase{"reference_233_as_utf8", kUtf8Decl + Head("<title>T</title><meta name=\"n\" content=\"&#233;\"/>"),
                 "T", {{"n", "\xC3\xA9"}}},
        ReadCase{"reference_233_as_8_bit", kLatinDecl + Head("<title>T</title><meta name=\"n\" content=\"&#233;\"/>"),
                 "T", {{"n", "\xC3\xA9"}}},
        ReadCase{"reference_233_no_declaration", Head("<title>T</title><meta name=\"n\" content=\"&#233;\"/>"), "T",
                 {{"n", "\xC3\xA9"}}},
        ReadCase{"hex_reference", kUtf8Decl + Head("<title>&#xE9;&#x141;</title>"), "\xC3\xA9\xC5\x81", {}},
        // What an 8-bit encoding cannot hold, XML writers write as references.
        ReadCase{"references_beyond_latin_1_in_8_bit",
                 kLatinDecl + Head("<title>&#8364; &#321;&#243;d&#378;</title><meta name=\"n\" content=\"&#x141;\"/>"),
                 "\xE2\x82\xAC \xC5\x81\xC3\xB3" "d\xC5\xBA", {{"n", "\xC5\x81"}}},
        ReadCase{"references_beside_latin_1_bytes",
                 "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n" + Head("<title>Caf\xE9 &#8364;</title>"),
                 "Caf\xC3\xA9 \xE2\x82\xAC", {}},
        ReadCase{"reference_beyond_latin_1_no_declaration", Head("<title>&#x141;</title>"), "\xC5\x81", {}},
        // Kept here; the folder name replaces it.
        ReadCase{"c1_reference", kUtf8Decl + Head("<title>&#x81;</title>"), "\xC2\x81", {}}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Documents that are refused, hostile ones included.

struct RefuseCase
{
    const char* label;
    std::string file;
    XmlFailure failure;
};

class RefusesDocument : public testing::TestWithParam<RefuseCase>
{};

TEST_P(RefusesDocument, FailsAndKeepsEarlierResults)
{
    const RefuseCase& c = GetParam();
    CNccReader reader;
    ASSERT_TRUE(reader.ReadNccBytes(Head("<title>Eerst</title><meta name=\"a\" content=\"b\"/>")));
    EXPECT_FALSE(reader.ReadNccBytes(c.file));
    EXPECT_EQ(reader.LastFailure(), c.failure) << DescribeXmlFailure(reader.LastFailure());
    EXPECT_EQ(reader.BookTitle(), "Eerst");
    EXPECT_EQ(MetasOf(reader), (Metas{{"a", "b"}}));
}

std::string Repeat(const std::string& part, std::size_t times)
{
    std::string out;
    out.reserve(part.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += part;
    return out;
}

std::string Nested(std::size_t depth)
{
    return "<html><head><title>T</title></head><body>" + Repeat("<a>", depth) + Repeat("</a>", depth) +
           "</body></html>";
}

std::string ManyAttributes(std::size_t count)
{
    std::string tag = "<meta";
    for (std::size_t i = 0; i < count; ++i)
        tag += " a" + std::to_string(i) + "=\"\"";
    return Head("<title>T</title>" + tag + "/>");
}

INSTANTIATE_TEST_SUITE_P(
    Structure, RefusesDocument,
    testing::Values(
        RefuseCase{"empty", "", XmlFailure::Empty},
        RefuseCase{"blank", "  \n ", XmlFailure::NotXml},
        RefuseCase{"starts_with_nul", std::string("\0<html/>", 8), XmlFailure::NotXml},
        RefuseCase{"not_xml", "Dit is geen NCC.", XmlFailure::NotXml},
        RefuseCase{"unclosed", "<html><head><title>T</title></head>", XmlFailure::NotXml},
        RefuseCase{"mismatched_end", "<html><head><title>T</titel></head></html>", XmlFailure::NotXml},
        RefuseCase{"capital_root", "<HTML><head><title>T</title></head></HTML>", XmlFailure::NoTitle},
        RefuseCase{"capital_head", "<html><HEAD><title>T</title></HEAD></html>", XmlFailure::NoTitle},
        RefuseCase{"no_title", Head("<meta name=\"a\" content=\"b\"/>"), XmlFailure::NoTitle},
        RefuseCase{"comment_title_first", Head("<!--title--><title>T</title>"), XmlFailure::NoTitle},
        RefuseCase{"title_in_body", "<html><head/><body><title>T</title></body></html>", XmlFailure::NoTitle},
        RefuseCase{"root_not_html", "<ncc><head><title>T</title></head></ncc>", XmlFailure::NoTitle}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Hostile, RefusesDocument,
    testing::Values(
        // Ends inside a four-byte UTF-8 character: TinyXML steps past the
        // end of the text. Under valgrind this shows whether the padding
        // holds.
        RefuseCase{"ends_inside_utf8", "<?xml><a>\xF1", XmlFailure::NotXml},
        RefuseCase{"ends_inside_utf8_attribute", "<?xml?><html a=\"\xF4", XmlFailure::NotXml},
        RefuseCase{"ends_inside_utf8_after_nul", std::string("<?xml><a>\xF1\0<b>\xF1", 15), XmlFailure::NotXml},
        RefuseCase{"bom_then_cut_lead", "\xEF\xBB\xBF<a>\xEF", XmlFailure::NotXml},
        RefuseCase{"nesting_40000", Nested(40000), XmlFailure::TooComplex},
        RefuseCase{"nesting_over_limit", Nested(kMaxXmlDepth), XmlFailure::TooComplex},
        // UTF-8 lead bytes and references swallow end tags, so counting
        // "<" and "</" alone would see a flat document here.
        RefuseCase{"nesting_hidden_by_lead_bytes", kUtf8Decl + Repeat("<a>\xE3</a>", 1200), XmlFailure::TooComplex},
        RefuseCase{"nesting_hidden_by_references", Repeat("<a>&#x</a>x1;", 1200), XmlFailure::TooComplex},
        RefuseCase{"attributes_over_limit", ManyAttributes(kMaxXmlAttributesPerElement + 1), XmlFailure::TooComplex},
        RefuseCase{"many_nodes_deep_down",
                   Repeat("<d>", 900) + Repeat("<e/>", 80000) + Repeat("</d>", 900), XmlFailure::TooComplex},
        RefuseCase{"too_large", std::string(kMaxXmlBytes + 1, ' '), XmlFailure::TooLarge}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(NccLimits, DocumentsJustWithinTheLimitsAreRead)
{
    CNccReader reader;
    const std::size_t bodyDepth = kMaxXmlDepth - 2; // html and body are two levels
    EXPECT_TRUE(reader.ReadNccBytes(Nested(bodyDepth))) << DescribeXmlFailure(reader.LastFailure());
    EXPECT_TRUE(reader.ReadNccBytes(ManyAttributes(kMaxXmlAttributesPerElement)));
}

// ---------------------------------------------------------------------------
// The shape scan must never see less than TinyXML builds: this compares
// the two on inputs where a naive count would go wrong.

struct ShapeCase
{
    const char* label;
    std::string file;
    std::size_t depth; // what TinyXML builds
};

class ShapeScan : public testing::TestWithParam<ShapeCase>
{};

TEST_P(ShapeScan, MatchesTinyXml)
{
    const ShapeCase& c = GetParam();
    const std::string text = PrepareXmlText(c.file);
    const XmlShape shape = ScanXmlShape(text.c_str());
    TiXmlBase::SetCondenseWhiteSpace(false);
    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    TreeSize tree;
    Measure(document, 0, tree);
    EXPECT_EQ(tree.depth, c.depth);
    EXPECT_EQ(shape.maxDepth, c.depth);
    EXPECT_LE(tree.nodes, shape.nodes);
}

INSTANTIATE_TEST_SUITE_P(
    Depth, ShapeScan,
    testing::Values(
        ShapeCase{"flat", Head("<title>T</title>"), 3},
        ShapeCase{"lead_byte_swallows_end_tag", kUtf8Decl + Repeat("<a>\xE3</a>", 5), 5},
        ShapeCase{"lead_byte_harmless_without_utf8", kLatinDecl + "<r>" + Repeat("<a>\xE3</a>", 5) + "</r>", 2},
        ShapeCase{"bom_makes_utf8", "\xEF\xBB\xBF" + Repeat("<a>\xE3</a>", 4), 4},
        ShapeCase{"empty_encoding_is_utf8", "<?xml encoding=\"\"?>" + Repeat("<a>\xE3</a>", 3), 3},
        ShapeCase{"encoding_by_reference", "<?xml encoding=\"&#85;TF-8\"?>" + Repeat("<a>\xE3</a>", 3), 3},
        // TinyXML drops the stray '&', so this value starts with "utf-8".
        ShapeCase{"encoding_with_stray_ampersand", "<?xml encoding=\"utf&-8x\"?>" + Repeat("<a>\xE3</a>", 3), 3},
        ShapeCase{"hex_reference_swallows", Repeat("<a>&#x</a>x1;", 4), 4},
        ShapeCase{"decimal_reference_swallows", Repeat("<a>&#</a>#1;", 4), 4},
        ShapeCase{"quote_swallowed_in_attribute", kUtf8Decl + "<a b=\"\xE3\"<c>\"><d/></a>", 2},
        ShapeCase{"comment_hides_tags", "<r><!-- <a><a> -->" + Repeat("<b>", 3) + Repeat("</b>", 3) + "</r>", 4},
        ShapeCase{"cdata_hides_tags", "<r><![CDATA[</r><a>]]><b/></r>", 2},
        ShapeCase{"doctype_ends_at_first_gt", "<!DOCTYPE x [<!ENTITY a \"b\">]><r><s/></r>", 0},
        ShapeCase{"unknown_inside_element", "<r><?pi <a>?><s><t/></s></r>", 3},
        ShapeCase{"whitespace_in_end_tag", "<r><s></s  ></r >", 2},
        ShapeCase{"stops_at_mismatched_end", "<r><s></x><a><a><a></a></a></a></s></r>", 2}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Reading from disc: the same results as TinyXML's own LoadFile for
// ordinary files, and failures for things that are no readable file.

TEST(NccFile, ReadsLikeLoadFile)
{
    TempFolder folder;
    const std::vector<std::string> files = {
        kUtf8Decl + Head("<title>Caf\xC3\xA9\r\n  twee</title><meta name=\"a\" content=\"b\r\nc\"/>"),
        kLatinDecl + Head("<title>\xE9\rx</title><meta content=\"\xC3\xA9\" name=\"n\"/>"),
        "\xEF\xBB\xBF" + Head("<title> T </title><meta name=\"x\" content=\"y\"/>") + std::string("\0tail", 5),
    };
    for (const std::string& bytes : files) {
        const std::string path = folder.Write("ncc.html", bytes);
        CNccReader reader;
        ASSERT_TRUE(reader.ReadNcc(path));

        TiXmlBase::SetCondenseWhiteSpace(false);
        TiXmlDocument document;
        ASSERT_TRUE(document.LoadFile(path.c_str(), TIXML_ENCODING_UNKNOWN));
        TiXmlHandle head = TiXmlHandle(&document).FirstChild("html").FirstChild("head");
        const char* title = head.FirstChild("title").ToElement()->GetText();
        EXPECT_EQ(reader.BookTitle(), DecodeBookText(title != nullptr ? title : ""));
        const TiXmlElement* meta = head.FirstChild("meta").ToElement();
        ASSERT_NE(meta, nullptr);
        ASSERT_EQ(reader.MetaList().size(), 1u);
        EXPECT_EQ(reader.MetaList()[0].m_strContent, DecodeBookText(meta->Attribute("content")));
    }
}

TEST(NccFile, FailsOnWhatIsNoReadableFile)
{
    TempFolder folder;
    const std::string fifo = folder / "fifo.html";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string large = folder.Write("large.html", "");
    ASSERT_EQ(::truncate(large.c_str(), static_cast<off_t>(kMaxXmlBytes) + 1), 0);

    const std::vector<std::pair<std::string, XmlFailure>> cases = {
        {folder / "missing.html", XmlFailure::CannotOpen},
        {folder.path().string(), XmlFailure::CannotOpen}, // a directory
        {fifo, XmlFailure::CannotOpen},          // would block for ever if opened plainly
        {"/dev/zero", XmlFailure::CannotOpen},   // endless
        {folder.Write("empty.html", ""), XmlFailure::Empty},
        {large, XmlFailure::TooLarge},
    };
    for (const auto& [path, failure] : cases) {
        CNccReader reader;
        EXPECT_FALSE(reader.ReadNcc(path)) << path;
        EXPECT_EQ(reader.LastFailure(), failure) << path;
    }
}

// ---------------------------------------------------------------------------
// Reading twice, and the lookups.

TEST(NccReader, SecondReadReplacesTitleAndAppendsBehindFirstEntries)
{
    CNccReader reader;
    ASSERT_TRUE(reader.ReadNccBytes(Head("<title>Een</title><meta name=\"dc:title\" content=\"1\"/>")));
    ASSERT_TRUE(reader.ReadNccBytes(Head("<title>Twee</title><meta name=\"dc:title\" content=\"2\"/>")));
    EXPECT_EQ(reader.BookTitle(), "Twee");
    EXPECT_EQ(MetasOf(reader), (Metas{{"dc:title", "1"}, {"dc:title", "2"}}));
    EXPECT_EQ(reader.GetMeta("dc:title", false), "1");
}

struct LookupCase
{
    const char* name;
    bool ignoreCase;
    const char* expected;
};

void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << c.name << (c.ignoreCase ? " ignoring case" : " exactly");
}

class GetMeta : public testing::TestWithParam<LookupCase>
{};

TEST_P(GetMeta, FirstMatchWins)
{
    CMetaList list;
    list.Append({"dc:creator", ""});
    list.Append({"dc:creator", "Tweede"});
    list.Append({"ncc:setInfo", "2 of 3"});
    list.Append({"dc:title", "Titel"});
    list.Append({"na\xEFve", "x"});
    const LookupCase& c = GetParam();
    EXPECT_EQ(list.GetMeta(c.name, c.ignoreCase), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Lookup, GetMeta,
                         testing::Values(LookupCase{"dc:creator", false, ""}, // the empty first one still wins
                                         LookupCase{"ncc:setinfo", true, "2 of 3"},
                                         LookupCase{"NCC:SETINFO", true, "2 of 3"},
                                         LookupCase{"ncc:setinfo", false, ""},
                                         LookupCase{"dc:Title", false, ""},
                                         LookupCase{"dc:title", false, "Titel"},
                                         LookupCase{"NA\xEFVE", true, "x"},   // ASCII letters fold
                                         LookupCase{"na\xCFve", true, ""}), [](const testing::TestParamInfo<LookupCase>& row) { return RowName(std::string(row.param.name) + (row.param.ignoreCase ? " any case" : " exact"), row.index); });  // other bytes do not

// ---------------------------------------------------------------------------
// Decoding: valid UTF-8 as it is, anything else as Windows-1252.

struct DecodeCase
{
    const char* label;
    std::string in;
    std::string out;
};

class Decoding : public testing::TestWithParam<DecodeCase>
{};

TEST_P(Decoding, Bytes)
{
    EXPECT_EQ(DecodeBookText(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Decoding,
    testing::Values(DecodeCase{"ascii", "Boek 1", "Boek 1"},
                    DecodeCase{"empty", "", ""},
                    DecodeCase{"utf8_kept", "\xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC \xF0\x9F\x93\x96",
                               "\xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC \xF0\x9F\x93\x96"},
                    DecodeCase{"latin_1", "Caf\xE9", "Caf\xC3\xA9"},
                    DecodeCase{"cp1252_high", "\x80\x8A\x9F", "\xE2\x82\xAC\xC5\xA0\xC5\xB8"},
                    DecodeCase{"cp1252_undefined_become_c1", "\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
                    // One bad byte makes the whole text Windows-1252.
                    DecodeCase{"mixed", "\xC3\xA9\xE9", "\xC3\x83\xC2\xA9\xC3\xA9"},
                    DecodeCase{"lone_lead_at_end", "ab\xC3", "ab\xC3\x83"},
                    DecodeCase{"overlong_slash", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
                    DecodeCase{"surrogate_half", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
                    DecodeCase{"above_u10ffff", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},
                    DecodeCase{"truncated_four_bytes", "\xF0\x9F\x93", "\xC3\xB0\xC5\xB8\xE2\x80\x9C"}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
