// The audio verdicts: each encoding a book's audio comes in and each kind
// of damage a disc does to it, as the check before the copy judges it from
// a file's head and as the check on the copy judges it from every byte;
// the walk in chunks of any size; the copy engine walking the audio as it
// reads it.
#include "check/AudioLength.h"
#include "check/AudioWalk.h"
#include "check/BookCheck.h"
#include "copy/FileOperations.h"
#include "check/AudioFiles.h"
#include "support/CopyTestSupport.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>

using namespace check;
using namespace audiofiles;

namespace {

// A book in memory: an NCC (or a package file whose manifest lists the
// audio before the SMIL file), one SMIL file whose last clip ends at
// clipEnd, one audio file.
class CMemoryBook : public IBookFileAccess
{
public:
    std::map<std::string, std::string> files;
    std::string failing;  // reading this one fails with EIO
    std::uint64_t audioRead = 0;

    CMemoryBook(const std::string& audio, const std::string& bytes, double clipEnd, bool daisy3)
    {
        const std::string end = std::to_string(clipEnd);
        files["s.smil"] = "<smil><body><seq><par><audio src=\"" + audio + "\" clip-begin=\"npt=0s\" clip-end=\"npt=" +
                          end + "s\" clipBegin=\"0\" clipEnd=\"" + end + "\"/></par></seq></body></smil>";
        if (daisy3)
            files["book.opf"] = "<package><manifest><item id=\"a\" href=\"" + audio +
                                "\" media-type=\"audio/mpeg\"/><item id=\"s\" href=\"s.smil\" "
                                "media-type=\"application/smil\"/></manifest></package>";
        else
            files["ncc.html"] = "<html><body><h1><a href=\"s.smil#t\">Een</a></h1></body></html>";
        files[audio] = bytes;
    }

    int ListTree(const std::string&, std::vector<FileEntry>& entries) override
    {
        for (const auto& [path, bytes] : files)
            entries.push_back({path, EntryType::File, bytes.size()});
        return 0;
    }
    int Read(const std::string& path, std::uint64_t offset, std::size_t maxBytes, std::string& bytes) override
    {
        if (path == failing)
            return EIO;
        const std::string& file = files.at(path);
        bytes = offset < file.size() ? file.substr(offset, maxBytes) : std::string();
        if (path.find(".smil") == std::string::npos && path.find("ncc") == std::string::npos &&
            path.find(".opf") == std::string::npos)
            audioRead += bytes.size();
        return 0;
    }
};

std::vector<Kind> KindsOf(const CheckReport& report)
{
    std::vector<Kind> kinds;
    for (const Finding& f : report.findings)
        kinds.push_back(f.kind);
    return kinds;
}

const int k10 = 383;  // frames of 1,152 samples at 44.1 kHz: 10.005 s

Mp3Options With(const char* announce, const FrameKind* fast = nullptr, bool bytes = true, std::size_t id3 = 0)
{
    Mp3Options o;
    o.announce = announce;
    o.fast = fast;
    o.announceBytes = bytes;
    o.id3Bytes = id3;
    return o;
}

Mp3Options Frames(const FrameKind& kind)
{
    Mp3Options o;
    o.slow = &kind;
    return o;
}

struct AudioCase
{
    const char* name;
    std::string file;
    std::string bytes;
    double clipEnd;
    double walked;              // what the walk finds plays (within 0.05 s)
    std::vector<Kind> head;     // findings before the copy
    bool unmeasured;            // before the copy: left to the copy's walk
    std::vector<Kind> whole;    // findings from every byte
    bool daisy3 = false;
    bool unreadable = false;
};
PRINT_CASE_AS(AudioCase, name)

class AudioVerdicts : public testing::TestWithParam<AudioCase>
{};

TEST_P(AudioVerdicts, AreExactFromEveryByteAndSureFromTheHead)
{
    const AudioCase& c = GetParam();
    CMemoryBook book(c.file, c.bytes, c.clipEnd, c.daisy3);
    if (c.unreadable)
        book.failing = c.file;
    const std::string bookFile = c.daisy3 ? "book.opf" : "ncc.html";

    const CheckReport head = CheckDisc(book, bookFile);
    EXPECT_EQ(c.head, KindsOf(head)) << "before the copy";
    EXPECT_EQ(c.unmeasured, !head.unmeasured.empty());
    EXPECT_LE(book.audioRead, 2 * kAudioHeadBytes);
    for (const Finding& f : head.findings)
        EXPECT_EQ(Grade::Fatal, f.grade);

    CheckOptions options;
    options.audio = AudioReading::Whole;
    const CheckReport whole = CheckDisc(book, bookFile, options);
    EXPECT_EQ(c.whole, KindsOf(whole)) << "from every byte";
    EXPECT_TRUE(whole.unmeasured.empty());
    for (const Finding& f : whole.findings)
        EXPECT_EQ(Grade::Fatal, f.grade);
    if (c.unreadable)
        return;

    // The same verdict whatever the chunks the bytes come in.
    AudioWalk once;
    for (const std::size_t chunk : {c.bytes.size() + 1, std::size_t(4093), std::size_t(7)}) {
        CAudioWalker walker;
        for (std::size_t at = 0; at < c.bytes.size(); at += chunk)
            walker.Feed(c.bytes.data() + at, std::min(chunk, c.bytes.size() - at));
        const AudioWalk walk = walker.Finish();
        EXPECT_NEAR(c.walked, walk.seconds, 0.05) << "in chunks of " << chunk;
        if (chunk > c.bytes.size())
            once = walk;
        EXPECT_EQ(once.frames, walk.frames) << "in chunks of " << chunk;
        EXPECT_EQ(once.gapCount, walk.gapCount) << "in chunks of " << chunk;
        EXPECT_EQ(c.bytes.size(), walk.bytes);
    }
}

using K = std::vector<Kind>;
const K kNone;

INSTANTIATE_TEST_SUITE_P(
    Encodings, AudioVerdicts,
    testing::Values(
        AudioCase{"cbr_without_header", "a.mp3", Mp3(k10), 10.0, 10.005, kNone, true, kNone},
        AudioCase{"cbr_with_info_frame", "a.mp3", Mp3(k10, With("Info")), 10.0, 10.005, kNone, false, kNone},
        AudioCase{"vbr_with_xing", "a.mp3", Mp3(k10, With("Xing", &kMpeg1Fast)), 10.0, 10.005, kNone, false, kNone},
        AudioCase{"vbr_with_vbri", "a.MP3", Mp3(k10, With("VBRI", &kMpeg1Fast)), 10.0, 10.005, kNone, false, kNone},
        // lame -V 2 -t: the head alone once made a minute of this 0:09.
        AudioCase{"vbr_without_header", "a.mp3", Mp3(k10, With(nullptr, &kMpeg1Fast)), 10.0, 10.005, kNone, true,
                  kNone},
        // cat one.mp3 two.mp3: the first Xing header speaks for half; the
        // second file's announcing frame plays as silence.
        AudioCase{"joined_with_stale_xing", "a.mp3", Mp3(k10, With("Xing", &kMpeg1Fast)) + Mp3(k10, With("Xing")), 20.0,
                  20.036, kNone, true, kNone},
        AudioCase{"large_id3_tag_first", "a.mp3", Mp3(k10, With("Xing", nullptr, true, 300000)), 10.0, 10.005, kNone,
                  false, kNone},
        AudioCase{"id3v1_tag_at_the_end", "a.mp3", Mp3(k10) + "TAG" + std::string(125, ' '), 10.0, 10.005, kNone, true,
                  kNone},
        AudioCase{"wav_pcm", "a.wav", Wav(10), 10.0, 10.0, kNone, false, kNone},
        AudioCase{"mpeg2_low_bitrate", "a.mp3", Mp3(k10, Frames(kMpeg2Low)), 10.0, 10.005, kNone, true, kNone},
        AudioCase{"mpeg25_low_bitrate", "a.mp3", Mp3(FramesFor(10, kMpeg25Low), Frames(kMpeg25Low)), 10.0, 10.008, kNone,
                  true, kNone},
        AudioCase{"mpeg1_layer2", "a.mp2", Mp3(k10, Frames(kLayer2)), 10.0, 10.005, kNone, true, kNone},
        AudioCase{"mpeg1_layer1", "a.mp3", Mp3(FramesFor(10, kLayer1), Frames(kLayer1)), 9.9, 9.995, kNone, true, kNone},
        AudioCase{"few_bytes_of_garbage_between_frames", "a.mp3", Mp3(190) + std::string(50, 'x') + Mp3(193), 10.0,
                  10.005, kNone, true, kNone},
        AudioCase{"clip_ends_within_the_tolerance", "a.mp3", Mp3(k10, With("Info")), 10.005 + 0.55, 10.005, kNone,
                  false, kNone}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Damage, AudioVerdicts,
    testing::Values(
        AudioCase{"clip_ends_past_the_tolerance", "a.mp3", Mp3(k10, With("Info")), 10.005 + 0.65, 10.005,
                  K{Kind::Truncated}, false, K{Kind::Truncated}},
        // The decoder stops where the zeros start; the header cannot know.
        AudioCase{"last_tenth_zeroed", "a.mp3", Zeroed(Mp3(k10, With("Info")), 0.9, 1.0), 10.0, 9.0, kNone, false,
                  K{Kind::Truncated}},
        AudioCase{"zero_filled_mp3", "a.mp3", std::string(Mp3(k10).size(), '\0'), 10.0, 0, kNone, true,
                  K{Kind::Damaged}},
        AudioCase{"zero_filled_wav", "a.wav", std::string(Wav(10).size(), '\0'), 10.0, 0, kNone, true,
                  K{Kind::Damaged}},
        AudioCase{"first_half_zeros", "a.mp3", Zeroed(Mp3(k10), 0, 0.5), 10.0, 5.0, kNone, true, K{Kind::Unplayable}},
        AudioCase{"zeros_in_the_middle", "a.mp3", Zeroed(Mp3(k10, With("Info")), 0.4, 0.6), 10.0, 8.0, kNone, false,
                  K{Kind::Unplayable}},
        AudioCase{"cut_inside_a_large_id3_tag", "a.mp3", Cut(Mp3(k10, With("Xing", nullptr, true, 300000)), 0.5), 10.0,
                  0, K{Kind::Truncated}, false, K{Kind::Damaged}},
        AudioCase{"xing_without_byte_count_cut_to_half", "a.mp3",
                  Cut(Mp3(k10, With("Xing", &kMpeg1Fast, false)), 0.5), 10.0, 5.0, kNone, true, K{Kind::Truncated}},
        AudioCase{"xing_with_byte_count_cut_to_half", "a.mp3", Cut(Mp3(k10, With("Xing", &kMpeg1Fast)), 0.5), 10.0,
                  5.0, kNone, true, K{Kind::Truncated}},
        AudioCase{"wav_cut", "a.wav", Cut(Wav(10), 0.25), 10.0, 2.5, K{Kind::Truncated}, false, K{Kind::Truncated}},
        AudioCase{"unreadable", "a.mp3", Mp3(k10, With("Info")), 10.0, 10.005, K{Kind::Unreadable}, false,
                  K{Kind::Unreadable}, false, true},
        // Z39.86 gives the manifest no order: the audio comes first here.
        AudioCase{"daisy3_audio_listed_before_smil_cut", "a.wav", Cut(Wav(10), 0.25), 10.0, 2.5, K{Kind::Truncated},
                  false, K{Kind::Truncated}, true},
        AudioCase{"daisy3_audio_listed_before_smil_clip_past_end", "a.mp3", Mp3(k10, With("Info")), 30.0, 10.005,
                  K{Kind::Truncated}, false, K{Kind::Truncated}, true}),
    CaseName());

TEST(AudioVerdicts, OnTheCopyComeFromTheWalkTheCopyMade)
{
    CMemoryBook book("a.mp3", Mp3(k10), 10.0, false);
    WalkedAudio walked;
    CAudioWalker walker;
    const std::string shorter = Mp3(100);
    walker.Feed(shorter.data(), shorter.size());
    walked["a.mp3"] = walker.Finish();
    CheckOptions options;
    options.audio = AudioReading::Whole;
    options.walked = &walked;
    const CheckReport report = CheckDisc(book, "ncc.html", options);
    EXPECT_EQ(K{Kind::Truncated}, KindsOf(report));
    EXPECT_EQ(0u, book.audioRead);
}

TEST(AudioVerdicts, AreMadeByTheCopyEngineAsItReads)
{
    copytest::CScratch scratch;
    namespace fs = std::filesystem;
    fs::create_directories(scratch / "cd/sub");
    const std::string good = Mp3(k10, With("Info"));
    const std::string bad = Zeroed(Mp3(k10), 0.5, 1.0);
    std::ofstream(scratch / "cd/a.mp3", std::ios::binary) << good;
    std::ofstream(scratch / "cd/sub/b.MP3", std::ios::binary) << bad;
    std::ofstream(scratch / "cd/c.txt") << "tekst";
    copy::CCopyEngine engine;
    copytest::CScriptedReporter reporter;
    ASSERT_TRUE(engine.CopyContent(scratch / "cd/", scratch / "usb", false, reporter));
    EXPECT_EQ(scratch / "usb", engine.WalkedInto());
    ASSERT_EQ(2u, engine.Walked().size());
    EXPECT_NEAR(10.005, engine.Walked().at("a.mp3").seconds, 0.001);
    EXPECT_NEAR(5.0, engine.Walked().at("sub/b.MP3").seconds, 0.05);
    std::ifstream copied(scratch / "usb/a.mp3", std::ios::binary);
    EXPECT_EQ(good, std::string(std::istreambuf_iterator<char>(copied), {}));
}

} // namespace

namespace {

TEST(AudioVerdicts, MakeTheDiscVolledigOnlyWhenEveryLengthIsProven)
{
    EXPECT_EQ("Het boek op de CD is volledig.", NothingMissingSentence(1, false));
    EXPECT_EQ("Alle boeken op de CD zijn volledig.", NothingMissingSentence(2, false));
    for (const std::size_t books : {1u, 2u}) {
        const std::string said = NothingMissingSentence(books, true);
        EXPECT_EQ(std::string::npos, said.find("volledig")) << said;
        EXPECT_NE(std::string::npos, said.find("kopi\xC3\xABren")) << said;
    }
}

} // namespace

namespace {

// Files that a real encoder made from ten seconds of sound: what books are
// made of. The walk must find the sound's length (plus the encoder's
// delay and padding, a few frames) however the file announces it.
struct LameCase
{
    const char* name;
    const char* options;  // for lame
    bool joined;          // the file twice, as cat makes it
    bool headKnows;       // the head declares the length exactly (at 8 kbit/s lame writes no Info frame)
};
PRINT_CASE_AS(LameCase, name)

class EncodedAudio : public testing::TestWithParam<LameCase>
{};

// seconds of 16-bit mono sound at 44.1 kHz whose loudness and pitch change,
// so that a VBR encoder varies its bitrate.
std::string Sound(double seconds)
{
    const int rate = 44100;
    const auto samples = static_cast<std::uint32_t>(seconds * rate);
    std::string wav = Wav(0);
    wav.resize(44);
    std::uint32_t noise = 12345;
    for (std::uint32_t i = 0; i < samples; ++i) {
        noise = noise * 1103515245u + 12345u;
        const double t = static_cast<double>(i) / rate;
        const double loud = (static_cast<int>(t * 2) % 2 == 0) ? 0.6 : 0.05;
        const double v = loud * (0.7 * std::sin(2 * M_PI * (200 + 300 * t) * t) +
                                 0.3 * (static_cast<double>(noise >> 16) / 32768.0 - 1.0));
        const auto s = static_cast<std::int16_t>(v * 32000);
        wav.push_back(static_cast<char>(s & 0xFF));
        wav.push_back(static_cast<char>((s >> 8) & 0xFF));
    }
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            wav[at + i] = static_cast<char>(v >> (8 * i));
    };
    put(4, static_cast<std::uint32_t>(wav.size() - 8));
    put(24, rate);
    put(28, rate * 2);
    put(40, samples * 2);
    return wav;
}

TEST_P(EncodedAudio, WalksToTheLengthOfTheSound)
{
    const LameCase& c = GetParam();
    if (std::system("command -v lame >/dev/null") != 0)
        GTEST_SKIP() << "lame is not installed (scripts/install-deps.sh installs it)";
    copytest::CScratch scratch;
    constexpr double kSound = 10.0;
    std::ofstream(scratch / "in.wav", std::ios::binary) << Sound(kSound);
    const std::string command = std::string("lame --quiet ") + c.options + " '" + (scratch / "in.wav") + "' '" +
                                (scratch / "out.mp3") + "'";
    ASSERT_EQ(0, std::system(command.c_str())) << command;
    std::ifstream in(scratch / "out.mp3", std::ios::binary);
    std::string mp3(std::istreambuf_iterator<char>(in), {});
    if (c.joined)
        mp3 += mp3;
    const double sound = c.joined ? 2 * kSound : kSound;

    CAudioWalker walker;
    for (std::size_t at = 0; at < mp3.size(); at += 65536)
        walker.Feed(mp3.data() + at, std::min<std::size_t>(65536, mp3.size() - at));
    const AudioWalk walk = walker.Finish();
    EXPECT_EQ(AudioFormat::Mpeg, walk.format);
    EXPECT_EQ(0u, walk.gapCount);
    // The encoder's delay and padding: at most a few frames at each start.
    EXPECT_GE(walk.seconds, sound);
    EXPECT_LE(walk.seconds, sound + (c.joined ? 0.4 : 0.2));

    // A book whose clips end where the sound ends has no fault, before the
    // copy and after it.
    CMemoryBook book("a.mp3", mp3, sound, false);
    EXPECT_EQ(kNone, KindsOf(CheckDisc(book, "ncc.html")));
    EXPECT_EQ(c.headKnows, CheckDisc(book, "ncc.html").unmeasured.empty());
    CheckOptions options;
    options.audio = AudioReading::Whole;
    EXPECT_EQ(kNone, KindsOf(CheckDisc(book, "ncc.html", options)));
    // Cut to half, it has, from every byte.
    CMemoryBook cut("a.mp3", mp3.substr(0, mp3.size() / 2), sound, false);
    EXPECT_EQ(K{Kind::Truncated}, KindsOf(CheckDisc(cut, "ncc.html", options)));
}

INSTANTIATE_TEST_SUITE_P(Lame, EncodedAudio,
                         testing::Values(LameCase{"cbr_64_with_info", "-b 64", false, true},
                                         LameCase{"vbr_with_xing", "-V 2", false, true},
                                         LameCase{"vbr_without_header", "-V 2 -t", false, false},
                                         LameCase{"cbr_without_header", "-b 32 -t", false, false},
                                         LameCase{"joined_with_stale_xing", "-V 2", true, false},
                                         LameCase{"mpeg2_low_bitrate", "-b 8 --resample 16", false, false},
                                         LameCase{"mpeg25_low_bitrate", "-b 8 --resample 8", false, false}),
                         CaseName());

} // namespace

namespace {

// The check on the copy judges the bytes the disc gave, as the copy walked
// them: here the copy is mended behind its back, and the verdict stands.
TEST(AudioVerdicts, OnTheCopyAreTheWalkOfTheBytesTheDiscGave)
{
    copytest::CScratch scratch;
    std::filesystem::create_directories(scratch / "cd");
    CMemoryBook made("a.mp3", Zeroed(Mp3(k10, With("Info")), 0.4, 0.6), 10.0, false);
    for (const auto& [path, bytes] : made.files)
        std::ofstream(scratch / ("cd/" + path), std::ios::binary) << bytes;
    copy::CCopyEngine engine;
    copy::CFileOperations ops(
        [](const std::string&, const std::function<void(copy::ICopyReporter&)>& work) {
            copytest::CScriptedReporter reporter;
            work(reporter);
        },
        &engine);
    ASSERT_TRUE(ops.Copy(scratch / "cd/", scratch / "usb", "", "", "", false, {}));
    std::ofstream(scratch / "usb/a.mp3", std::ios::binary | std::ios::trunc) << Mp3(k10, With("Info"));
    const CheckReport copy = ops.CheckBook(scratch / "usb", Place::Copy);
    EXPECT_EQ(K{Kind::Unplayable}, KindsOf(copy));
    EXPECT_TRUE(copy.findings.at(0).fromSource) << "the disc's fault, not the copy's";
    EXPECT_EQ(kNone, KindsOf(ops.CheckBook(scratch / "usb", Place::Disc)));
    // Another folder was not walked: its audio is read from the drive, and
    // what it finds is the copy's.
    std::filesystem::copy(scratch / "usb", scratch / "other");
    std::ofstream(scratch / "other/a.mp3", std::ios::binary | std::ios::trunc) << Mp3(100);
    const CheckReport other = ops.CheckBook(scratch / "other", Place::Copy);
    EXPECT_EQ(K{Kind::Truncated}, KindsOf(other));
    EXPECT_FALSE(other.findings.at(0).fromSource);
}

} // namespace
