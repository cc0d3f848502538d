// The book check: the sample book spoilt in each way a disc is, every
// finding with its grade. The audio verdicts are in AudioCheckTest.cpp.
#include "check/AudioLength.h"
#include "check/BookCheck.h"
#include "check/SmilReader.h"
#include "support/TableCases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <numeric>
#include <tuple>

using namespace check;

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
    // The extra file is unreferenced: the text files' references are
    // followed once more before it is called so (from the page cache).
    EXPECT_LE(files.BytesRead(), 2 * text + 3 * kAudioHeadBytes);
    EXPECT_EQ(7u, report.files.size());  // the NCC, three SMIL and three audio files
}

// A window that closes stops the reading: nothing more is read.
TEST(BookCheck, ReadsNothingOnceStopped)
{
    CTempDir dir;
    const std::string command = "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py " + (dir / "cd");
    ASSERT_EQ(0, std::system(command.c_str()));
    std::atomic<bool> stop{true};
    CPosixBookFiles files(dir / "cd", &stop);
    std::vector<FileEntry> entries;
    std::string bytes;
    EXPECT_EQ(ECANCELED, files.ListTree("", entries));
    EXPECT_EQ(ECANCELED, files.Read("ncc.html", 0, 100, bytes));
    CheckDisc(files, "ncc.html");
    EXPECT_EQ(0u, files.BytesRead());
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

namespace {

// What grade each kind of finding gets for each role a file has.
using Graded = std::tuple<Grade, Kind, Role>;
const std::string kGone = "\x01gone";

struct GradeCase
{
    const char* name;
    std::string multimediaType;
    std::map<std::string, std::string> changed;  // path: new bytes, or kGone
    std::vector<Graded> findings;                // every finding
    std::string folder = {};                     // a folder where a file was
    std::string unreadable = {};                 // reading this fails (EIO)
    bool whole = false;                          // every audio byte read
};
PRINT_CASE_AS(GradeCase, name)

class CFaultyBook : public IBookFileAccess
{
public:
    std::map<std::string, std::string> files;
    std::string folder, unreadable;

    int ListTree(const std::string&, std::vector<FileEntry>& entries) override
    {
        for (const auto& [path, bytes] : files)
            entries.push_back({path, EntryType::File, bytes.size()});
        if (!folder.empty())
            entries.push_back({folder, EntryType::Folder, 0});
        return 0;
    }
    int Read(const std::string& path, std::uint64_t offset, std::size_t maxBytes, std::string& bytes) override
    {
        if (path == unreadable)
            return EIO;
        const std::string& file = files.at(path);
        bytes = offset < file.size() ? file.substr(offset, maxBytes) : std::string();
        return 0;
    }
};

std::string OneSecondWav()
{
    auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>(v >> (8 * i)));
        return s;
    };
    return "RIFF" + le(36 + 16000, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4) +
           le(2, 2) + le(16, 2) + "data" + le(16000, 4) + std::string(16000, '\0');
}

// MPEG-1 layer III frames of silence, 26 ms each.
std::string SilentMp3(int frames)
{
    std::string frame(104, '\0');
    frame.replace(0, 4, "\xFF\xFB\x10\xC4");
    std::string file;
    for (int i = 0; i < frames; ++i)
        file += frame;
    return file;
}

class Grading : public testing::TestWithParam<GradeCase>
{};

TEST_P(Grading, FollowsTheRoleOfTheFile)
{
    const GradeCase& c = GetParam();
    CFaultyBook book;
    book.files["ncc.html"] = "<html><head><meta name=\"ncc:multimediaType\" content=\"" + c.multimediaType +
                             "\"/><link rel=\"stylesheet\" href=\"style.css\"/></head><body><h1><a "
                             "href=\"s.smil#t\">Een</a></h1></body></html>";
    book.files["s.smil"] = "<smil><body><par><text src=\"text.html#p\"/><audio src=\"a.wav\" clip-end=\"npt=0.9s\"/>"
                           "</par></body></smil>";
    book.files["a.wav"] = OneSecondWav();
    book.files["text.html"] = "<p id=\"p\"/>";
    book.files["style.css"] = "p {}";
    for (const auto& [path, bytes] : c.changed) {
        if (bytes == kGone)
            book.files.erase(path);
        else
            book.files[path] = bytes;
    }
    book.folder = c.folder;
    book.unreadable = c.unreadable;
    CheckOptions options;
    options.audio = c.whole ? AudioReading::Whole : AudioReading::Head;
    const CheckReport report = CheckDisc(book, "ncc.html", options);
    std::vector<Graded> found;
    for (const Finding& f : report.findings) {
        found.emplace_back(f.grade, f.kind, f.role);
        EXPECT_FALSE(DescribeFinding(f, Place::Copy).empty());
    }
    EXPECT_EQ(c.findings, found);
}

const std::string kSmilWith = "<smil><body><par><text src=\"text.html#p\"/><audio src=\"";

INSTANTIATE_TEST_SUITE_P(
    Check, Grading,
    testing::Values(
        GradeCase{"nothing_wrong", "audioNcc", {}, {}},
        GradeCase{"book_file_damaged", "audioNcc", {{"ncc.html", "<html><body"}},
                  {{Grade::Fatal, Kind::Damaged, Role::BookFile},
                   {Grade::Note, Kind::Unreferenced, Role::Other},
                   {Grade::Note, Kind::Unreferenced, Role::Other},
                   {Grade::Note, Kind::Unreferenced, Role::Other},
                   {Grade::Note, Kind::Unreferenced, Role::Other}}},
        GradeCase{"smil_empty", "audioNcc", {{"s.smil", ""}},
                  {{Grade::Fatal, Kind::Empty, Role::Smil},
                   {Grade::Note, Kind::Unreferenced, Role::Other},
                   {Grade::Note, Kind::Unreferenced, Role::Other}}},
        GradeCase{"smil_unreadable", "audioNcc", {}, {{Grade::Fatal, Kind::Unreadable, Role::Smil},
                   {Grade::Note, Kind::Unreferenced, Role::Other},
                   {Grade::Note, Kind::Unreferenced, Role::Other}}, "", "s.smil"},
        GradeCase{"audio_missing", "audioNcc", {{"a.wav", kGone}}, {{Grade::Fatal, Kind::Missing, Role::Audio}}},
        GradeCase{"audio_a_folder", "audioNcc", {{"a.wav", kGone}}, {{Grade::Fatal, Kind::NotAFile, Role::Audio}},
                  "a.wav"},
        GradeCase{"audio_unreadable", "audioNcc", {}, {{Grade::Fatal, Kind::Unreadable, Role::Audio}}, "", "a.wav"},
        GradeCase{"audio_cut_short", "audioNcc", {{"a.wav", OneSecondWav().substr(0, 4000)}},
                  {{Grade::Fatal, Kind::Truncated, Role::Audio}}},
        GradeCase{"audio_without_a_frame", "audioNcc",
                  {{"a.mp3", std::string(20000, '\0') + std::string(20000, 'x')},
                   {"a.wav", kGone},
                   {"s.smil", kSmilWith + "a.mp3\" clip-end=\"npt=0.9s\"/></par></body></smil>"}},
                  {{Grade::Fatal, Kind::Damaged, Role::Audio}}, "", "", true},
        GradeCase{"audio_with_a_dead_stretch", "audioNcc",
                  {{"a.mp3", SilentMp3(200) + std::string(20000, '\0') + SilentMp3(200)},
                   {"a.wav", kGone},
                   {"s.smil", kSmilWith + "a.mp3\" clip-end=\"npt=9s\"/></par></body></smil>"}},
                  {{Grade::Fatal, Kind::Unplayable, Role::Audio}}, "", "", true},
        GradeCase{"audio_cut_short_read_whole", "audioNcc",
                  {{"a.mp3", SilentMp3(200)},
                   {"a.wav", kGone},
                   {"s.smil", kSmilWith + "a.mp3\" clip-end=\"npt=9s\"/></par></body></smil>"}},
                  {{Grade::Fatal, Kind::Truncated, Role::Audio}}, "", "", true},
        GradeCase{"audio_of_unknown_format", "audioNcc",
                  {{"a.ogg", "OggS"}, {"a.wav", kGone}, {"s.smil", kSmilWith + "a.ogg\" clip-end=\"npt=0.9s\"/></par></body></smil>"}},
                  {{Grade::Warning, Kind::UnknownLength, Role::Audio}}},
        GradeCase{"audio_only_in_another_letter_case", "audioNcc", {{"a.wav", kGone}, {"A.WAV", OneSecondWav()}},
                  {{Grade::Warning, Kind::CaseOnly, Role::Audio}}},
        GradeCase{"audio_outside_the_book", "audioNcc",
                  {{"s.smil", kSmilWith + "../a.wav\" clip-end=\"npt=0.9s\"/></par></body></smil>"}},
                  {{Grade::Fatal, Kind::OutsideBook, Role::Audio}, {Grade::Note, Kind::Unreferenced, Role::Other}}},
        GradeCase{"text_missing_in_an_audio_only_book", "audioNcc", {{"text.html", kGone}},
                  {{Grade::Warning, Kind::Missing, Role::Text}}},
        GradeCase{"text_missing_in_a_full_text_book", "audioFullText", {{"text.html", kGone}},
                  {{Grade::Fatal, Kind::Missing, Role::Text}}},
        GradeCase{"style_sheet_missing", "audioFullText", {{"style.css", kGone}},
                  {{Grade::Warning, Kind::Missing, Role::Other}}},
        GradeCase{"style_sheet_empty", "audioNcc", {{"style.css", ""}}, {{Grade::Warning, Kind::Empty, Role::Other}}},
        GradeCase{"file_nothing_refers_to", "audioNcc", {{"oud.txt", "x"}},
                  {{Grade::Note, Kind::Unreferenced, Role::Other}}}),
    CaseName());

} // namespace
