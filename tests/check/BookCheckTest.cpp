// The book check: the sample book spoilt in each way a disc is, every
// finding with its grade. The audio verdicts are in AudioCheckTest.cpp.
#include "check/AudioLength.h"
#include "check/BookCheck.h"
#include "check/SmilReader.h"
#include "support/TableCases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <numeric>
#include <tuple>

using namespace bookcheck;

namespace {

// grade, kind, file: what a row expects of one finding.
using Expected = std::tuple<Grade, Kind, std::string>;

struct SampleCase
{
    const char* name;
    std::string options;   // for sample/make_sample_book.py
    std::string bookFile;  // at the disc's root
    std::vector<Expected> findings;
};
PRINT_CASE_AS(SampleCase, name)

class SampleBooks : public testing::TestWithParam<SampleCase>
{};

TEST_P(SampleBooks, GiveTheirFindingsEachWithItsGrade)
{
    const SampleCase& c = GetParam();
    CTempDir dir;
    const std::string command = "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py " + (dir / "cd") + " " + c.options;
    ASSERT_EQ(0, std::system(command.c_str()));
    CPosixBookFiles files(dir / "cd");
    const CheckReport report = CheckDisc(files, c.bookFile);
    std::vector<Expected> found;
    for (const Finding& f : report.findings) {
        found.emplace_back(f.grade, f.kind, f.file);
        EXPECT_FALSE(DescribeFinding(f, Place::Disc).empty());
        if (f.kind != Kind::Unreferenced && c.options.find("--fault") != std::string::npos) {
            EXPECT_EQ("De blauwe sluis", f.chapter) << f.file;
        }
    }
    EXPECT_EQ(c.findings, found);
    EXPECT_EQ(std::any_of(c.findings.begin(), c.findings.end(), [](const Expected& e) { return std::get<0>(e) == Grade::Fatal; }),
              report.HasFatal());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SampleBooks,
    testing::Values(
        SampleCase{"daisy202_whole", "", "ncc.html", {}},
        SampleCase{"daisy3_whole", "--daisy3", "speechgen.opf", {}},
        SampleCase{"two_books_whole", "--two-books", "discinfo.html", {}},
        SampleCase{"missing_smil", "--fault missing-smil", "ncc.html",
                   {{Grade::Fatal, Kind::Missing, "smil0002.smil"}, {Grade::Note, Kind::Unreferenced, "aud0002.wav"}}},
        SampleCase{"missing_audio", "--fault missing-audio", "ncc.html", {{Grade::Fatal, Kind::Missing, "aud0002.wav"}}},
        SampleCase{"empty_audio", "--fault empty-audio", "ncc.html", {{Grade::Fatal, Kind::Empty, "aud0002.wav"}}},
        SampleCase{"truncated_audio", "--fault truncated-audio", "ncc.html",
                   {{Grade::Fatal, Kind::Truncated, "aud0002.wav"}}},
        SampleCase{"letter_case_only", "--fault case-only", "ncc.html",
                   {{Grade::Warning, Kind::CaseOnly, "aud0002.wav"}}},
        SampleCase{"link_outside_the_book", "--fault outside-link", "ncc.html",
                   {{Grade::Fatal, Kind::OutsideBook, "../boek/aud0002.wav"},
                    {Grade::Note, Kind::Unreferenced, "aud0002.wav"}}},
        SampleCase{"unlisted_extra_file", "--fault extra-file", "ncc.html",
                   {{Grade::Note, Kind::Unreferenced, "extra.txt"}}},
        SampleCase{"broken_smil", "--fault broken-smil", "ncc.html",
                   {{Grade::Fatal, Kind::Damaged, "smil0002.smil"}, {Grade::Note, Kind::Unreferenced, "aud0002.wav"}}},
        SampleCase{"second_book_of_a_disc", "--two-books --fault missing-audio", "discinfo.html",
                   {{Grade::Fatal, Kind::Missing, "boek1/aud0002.wav"}}}),
    CaseName());

TEST(BookCheck, ReadsTextFilesAndOnlyTheFirstKilobytesOfEachAudioFile)
{
    CTempDir dir;
    const std::string command = "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py " + (dir / "cd") + " --extra-mb 1";
    ASSERT_EQ(0, std::system(command.c_str()));
    CPosixBookFiles files(dir / "cd");
    const CheckReport report = CheckDisc(files, "ncc.html");
    std::uint64_t text = 0;
    for (const auto& name : {"ncc.html", "smil0001.smil", "smil0002.smil", "smil0003.smil"})
        text += std::filesystem::file_size(dir / ("cd/" + std::string(name)));
    EXPECT_LE(files.BytesRead(), text + 3 * kAudioHeadBytes);
    EXPECT_EQ(7u, report.files.size());  // the NCC, three SMIL and three audio files
}

TEST(BookCheck, TellsTheChapterInDutch)
{
    Finding f;
    f.grade = Grade::Fatal;
    f.role = Role::Smil;
    f.chapter = "Hoofdstuk 12";
    f.file = "smil0012.smil";
    EXPECT_EQ("Hoofdstuk 12 ontbreekt op de CD (smil0012.smil).", DescribeFinding(f, Place::Disc));
    f.book = "De stille haven";
    f.chapter = "Het begin";
    EXPECT_EQ("Boek \"De stille haven\": Het hoofdstuk \"Het begin\" ontbreekt in de kopie (smil0012.smil).",
              DescribeFinding(f, Place::Copy));
}

struct ClockCase
{
    const char* name;
    const char* text;
    bool ok;
    double seconds;
};
PRINT_CASE_AS(ClockCase, name)

class ClockValues : public testing::TestWithParam<ClockCase>
{};

TEST_P(ClockValues, ReadAsSeconds)
{
    const ClockCase& c = GetParam();
    double seconds = -1;
    EXPECT_EQ(c.ok, ParseClockValue(c.text, seconds));
    if (c.ok) {
        EXPECT_DOUBLE_EQ(c.seconds, seconds);
    }
}

INSTANTIATE_TEST_SUITE_P(Smil, ClockValues,
                         testing::Values(ClockCase{"npt_seconds", "npt=12.345s", true, 12.345},
                                         ClockCase{"full_clock", "1:02:03.5", true, 3723.5},
                                         ClockCase{"partial_clock", "02:03", true, 123},
                                         ClockCase{"minutes", "1.5min", true, 90},
                                         ClockCase{"milliseconds", "500ms", true, 0.5},
                                         ClockCase{"bare_number", "7", true, 7},
                                         ClockCase{"negative", "npt=-1s", false, 0},
                                         ClockCase{"exponent", "1e308s", false, 0},
                                         ClockCase{"four_parts", "1:2:3:4", false, 0},
                                         ClockCase{"empty", "npt=", false, 0}),
                         CaseName());

} // namespace

namespace {

// A DAISY 2.02 book in memory: ncc.html, s.smil (its text in text.html,
// its audio in a.wav) and whatever a row adds.
class CMemoryBook : public IBookFileAccess
{
public:
    std::map<std::string, std::string> files;

    int ListTree(const std::string&, std::vector<FileEntry>& entries) override
    {
        for (const auto& [path, bytes] : files)
            entries.push_back({path, EntryType::File, bytes.size()});
        return 0;
    }
    int Read(const std::string& path, std::uint64_t offset, std::size_t maxBytes, std::string& bytes) override
    {
        const std::string& file = files.at(path);
        bytes = offset < file.size() ? file.substr(offset, maxBytes) : std::string();
        return 0;
    }
};

struct ReferenceCase
{
    const char* name;
    std::string smilDoctype;                    // before the SMIL's root
    std::map<std::string, std::string> files;   // added to the book, text.html among them
    std::vector<std::string> unreferenced;
};
PRINT_CASE_AS(ReferenceCase, name)

class FollowedReferences : public testing::TestWithParam<ReferenceCase>
{};

TEST_P(FollowedReferences, LeaveOnlyTrulyUnreferencedFiles)
{
    const ReferenceCase& c = GetParam();
    CMemoryBook book;
    book.files = c.files;
    book.files["ncc.html"] = "<html><body><h1><a href=\"s.smil#t\">Een</a></h1></body></html>";
    book.files["s.smil"] = c.smilDoctype + "<smil><body><par><text src=\"text.html#p1\"/><audio src=\"a.wav\" "
                                           "clip-end=\"npt=0.5s\"/></par></body></smil>";
    std::string wav = "RIFF\x24\x1f\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data";
    wav += std::string("\0\x1f\0\0", 4) + std::string(0x1f00, '\0');
    book.files["a.wav"] = std::string("RIFF\x24\x1f\0\0WAVE", 12) + wav.substr(12);
    const CheckReport report = CheckDisc(book, "ncc.html");
    std::vector<std::string> unreferenced;
    for (const Finding& f : report.findings) {
        EXPECT_EQ(Kind::Unreferenced, f.kind) << DescribeFinding(f, Place::Disc);
        EXPECT_EQ(Grade::Note, f.grade);
        unreferenced.push_back(f.file);
    }
    EXPECT_EQ(c.unreferenced, unreferenced);
}

const std::string kText = "<html><head><link rel=\"stylesheet\" href=\"css/book.css\"/></head><body><p id=\"p1\">"
                          "<img src=\"pics/map.jpg\" alt=\"\"/></p></body></html>";

INSTANTIATE_TEST_SUITE_P(
    Check, FollowedReferences,
    testing::Values(
        ReferenceCase{"image_and_style_sheet_of_a_text_document", "",
                      {{"text.html", kText}, {"pics/map.jpg", "jpg"}, {"css/book.css", "p {}"}}, {}},
        ReferenceCase{"images_and_imports_of_a_style_sheet", "",
                      {{"text.html", kText},
                       {"pics/map.jpg", "jpg"},
                       {"css/book.css", "@import \"more.css\";\nbody { background: url( '../pics/bg.png' ) }"},
                       {"css/more.css", "h1 { background: url(\"../pics/h.png\") }"},
                       {"pics/bg.png", "png"},
                       {"pics/h.png", "png"}},
                      {}},
        ReferenceCase{"dtd_of_a_smil_file_and_its_module", "<!DOCTYPE smil PUBLIC \"-//W3C//DTD SMIL 1.0//EN\" \"smil10.dtd\">",
                      {{"text.html", "<p id=\"p1\"/>"},
                       {"smil10.dtd", "<!ENTITY % mod SYSTEM \"smil-mod.ent\">"},
                       {"smil-mod.ent", "<!-- -->"}},
                      {}},
        ReferenceCase{"a_dtd_on_the_web_is_no_file", "<!DOCTYPE smil SYSTEM \"http://www.example.org/smil10.dtd\">",
                      {{"text.html", "<p id=\"p1\"/>"}, {"smil10.dtd", "x"}},
                      {"smil10.dtd"}},
        ReferenceCase{"xlink_href_in_a_text_document", "",
                      {{"text.html", "<p id=\"p1\"><svg xlink:href=\"fig.svg\"/></p>"}, {"fig.svg", "<svg/>"}}, {}},
        ReferenceCase{"data_src_is_no_reference", "",
                      {{"text.html", "<p id=\"p1\" data-src=\"lazy.png\"/>"}, {"lazy.png", "png"}}, {"lazy.png"}},
        ReferenceCase{"a_file_nothing_names", "",
                      {{"text.html", kText}, {"pics/map.jpg", "jpg"}, {"css/book.css", "p {}"}, {"pics/old.jpg", "j"}},
                      {"pics/old.jpg"}}),
    CaseName());

} // namespace
