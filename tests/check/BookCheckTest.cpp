// The book check: the sample book spoilt in each way a disc is, every
// finding with its grade, and the audio lengths it reads from a file's
// first kilobytes.
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

// Audio files in memory, counting what is read.
class CMemoryFiles : public IBookFileAccess
{
public:
    std::map<std::string, std::string> files;
    std::size_t read = 0;

    int ListTree(const std::string&, std::vector<FileEntry>&) override { return ENOSYS; }
    int Read(const std::string& path, std::uint64_t offset, std::size_t maxBytes, std::string& bytes) override
    {
        const std::string& file = files.at(path);
        bytes = offset < file.size() ? file.substr(offset, maxBytes) : std::string();
        read += bytes.size();
        return 0;
    }
};

// MPEG-1 layer III, mono, 44.1 kHz: 104 bytes a frame at 32 kbit/s, 208 at
// 64; 1152 samples each. Silent frames are still frames to a decoder.
std::string Frame(bool fast)
{
    std::string frame(fast ? 208 : 104, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = fast ? '\x50' : '\x10';
    frame[3] = '\xC4';
    return frame;
}

void PutBigEndian(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// frames of audio (10.005 s for 383), every other one at 64 kbit/s when
// vbr, after an announcing frame ("Xing" or "VBRI") and an ID3 tag of
// tagBytes when asked; then cut to keepPercent of its size.
std::string Mp3(int frames, bool vbr, const char* tag, std::size_t tagBytes, int keepPercent)
{
    std::string audio;
    for (int i = 0; i < frames; ++i)
        audio += Frame(vbr && i % 2 == 1);
    if (tag != nullptr) {
        std::string info = Frame(false);
        const std::size_t at = std::string(tag) == "VBRI" ? 36 : 21;
        info.replace(at, 4, tag);
        const std::uint32_t bytes = static_cast<std::uint32_t>(audio.size() + info.size());
        if (std::string(tag) == "VBRI") {
            PutBigEndian(info, at + 10, bytes);
            PutBigEndian(info, at + 14, static_cast<std::uint32_t>(frames));
        } else {
            PutBigEndian(info, at + 4, 3);
            PutBigEndian(info, at + 8, static_cast<std::uint32_t>(frames));
            PutBigEndian(info, at + 12, bytes);
        }
        audio = info + audio;
    }
    std::string file;
    if (tagBytes > 0) {
        file = std::string("ID3\x03\0\0", 6) + std::string(4, '\0') + std::string(tagBytes, 'x');
        for (int i = 0; i < 4; ++i)
            file[6 + i] = static_cast<char>((tagBytes >> (21 - 7 * i)) & 0x7F);
    }
    file += audio;
    file.resize(file.size() * keepPercent / 100);
    return file;
}

// A WAV file that says it holds seconds of 8 kHz 16-bit mono, cut to
// keepPercent of its sound.
std::string Wav(double seconds, int keepPercent)
{
    const auto data = static_cast<std::uint32_t>(seconds * 16000);
    auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>(v >> (8 * i)));
        return s;
    };
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4) +
           le(2, 2) + le(16, 2) + "data" + le(data, 4) + std::string(data * keepPercent / 100, '\0');
}

struct AudioCase
{
    const char* name;
    std::string file;
    std::string bytes;
    bool known;
    double seconds;
    std::size_t mostRead;
};
PRINT_CASE_AS(AudioCase, name)

class AudioFiles : public testing::TestWithParam<AudioCase>
{};

TEST_P(AudioFiles, MeasureFromTheirFirstKilobytes)
{
    const AudioCase& c = GetParam();
    CMemoryFiles files;
    files.files[c.file] = c.bytes;
    const AudioLength length = MeasureAudio(files, c.file, c.bytes.size());
    EXPECT_EQ(c.known, length.known);
    EXPECT_NEAR(c.seconds, length.seconds, 0.1);
    EXPECT_LE(files.read, c.mostRead);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, AudioFiles,
    testing::Values(AudioCase{"cbr_mp3", "a.mp3", Mp3(383, false, nullptr, 0, 100), true, 10.0, kAudioHeadBytes},
                    AudioCase{"cbr_mp3_cut", "a.mp3", Mp3(383, false, nullptr, 0, 50), true, 5.0, kAudioHeadBytes},
                    AudioCase{"cbr_mp3_info_cut", "a.mp3", Mp3(383, false, "Info", 0, 50), true, 5.0, kAudioHeadBytes},
                    AudioCase{"vbr_mp3_xing", "a.mp3", Mp3(383, true, "Xing", 0, 100), true, 10.0, kAudioHeadBytes},
                    AudioCase{"vbr_mp3_xing_cut", "a.mp3", Mp3(383, true, "Xing", 0, 25), true, 2.5, kAudioHeadBytes},
                    AudioCase{"vbr_mp3_vbri", "a.MP3", Mp3(383, true, "VBRI", 0, 100), true, 10.0, kAudioHeadBytes},
                    AudioCase{"vbr_mp3_vbri_cut", "a.mp3", Mp3(383, true, "VBRI", 0, 50), true, 5.0, kAudioHeadBytes},
                    AudioCase{"large_id3_tag_skipped", "a.mp3", Mp3(383, false, "Xing", 40000, 100), true, 10.0,
                              3 * kAudioHeadBytes},
                    AudioCase{"no_mpeg_frames", "a.mp3", std::string(20000, '\0'), false, 0, kAudioReadLimit},
                    AudioCase{"wav", "a.wav", Wav(2, 100), true, 2.0, kAudioHeadBytes},
                    AudioCase{"wav_cut", "a.wav", Wav(2, 25), true, 0.5, kAudioHeadBytes},
                    AudioCase{"not_audio", "a.wav", std::string(5000, 'x'), false, 0, kAudioReadLimit}),
    CaseName());

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
