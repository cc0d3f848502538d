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
