// How long an audio file really plays, told from every one of its bytes:
// the walk takes the bytes in order, in chunks of any size, never seeks
// and keeps only a few kilobytes, so that the copy can walk each audio
// file as it reads it from the disc, at no extra read.
//
// MPEG audio (MPEG 1, 2 and 2.5, layers I to III): a frame counts only
// when its header is valid and the next frame's header (or a tag, or the
// end of the file) follows where its length says; anything else is a
// stretch without playable audio, and the walk finds the frames again
// after it. ID3v2 tags are skipped by their size, ID3v1 and APE tags
// too. An Xing, Info or VBRI frame at the start announces, it does not
// play. WAV: the RIFF chunks, the format from "fmt ", the sound from
// "data", as much of it as is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace check {

enum class AudioFormat
{
    Unknown,  // neither MPEG frames nor a RIFF WAVE header
    Mpeg,
    Wav
};

// A stretch of the file that plays nothing: bytes that are no frame (zeros,
// garbage, a cut-off frame), or WAV sound that its header promises but the
// file lacks.
struct AudioGap
{
    double at = 0;            // seconds of playable audio before it
    double seconds = 0;       // about how long the sound it replaces was (from the bitrate around it)
    std::uint64_t offset = 0; // where it starts in the file
    std::uint64_t bytes = 0;
};

struct AudioWalk
{
    AudioFormat format = AudioFormat::Unknown;
    double seconds = 0;               // what plays, exactly: the frames found, or the WAV sound present
    std::uint64_t frames = 0;         // MPEG frames that play
    std::uint64_t bytes = 0;          // every byte walked
    std::vector<AudioGap> gaps;       // the first kMaxGaps, in file order
    std::uint64_t gapCount = 0;       // all of them
    // The length the file's own header announces (Xing, Info or VBRI frame
    // count; WAV data size), or -1 when it announces none.
    double announcedSeconds = -1;
};

inline constexpr std::size_t kMaxGaps = 16;

class CAudioWalker
{
public:
    CAudioWalker();

    // The next bytes of the file, in order.
    void Feed(const char* data, std::size_t size);

    // After the last byte: the verdict. The walker is spent.
    AudioWalk Finish();

private:
    void Walk(bool atEnd);
    bool WalkMpeg(bool atEnd);
    bool WalkWav(bool atEnd);
    void Garbage(std::uint64_t bytes);
    void EndGap();

    std::string m_buffer;        // bytes fed but not yet walked: at most a frame and a header
    std::size_t m_pos = 0;       // into m_buffer
    std::uint64_t m_offset = 0;  // of m_buffer[m_pos] in the file
    std::uint64_t m_skip = 0;    // bytes of a tag or chunk still to pass over
    bool m_started = false;
    bool m_inGap = false;
    bool m_announcerChecked = false;
    std::uint32_t m_lastHeader = 0;
    double m_bitsPerSecond = 0;  // of the last frame, to size a gap in time
    AudioGap m_gap;
    AudioWalk m_walk;
    // WAV.
    bool m_wavHeaderRead = false;
    bool m_inData = false;
    std::uint64_t m_dataDeclared = 0;
    std::uint64_t m_dataPresent = 0;
    std::uint32_t m_byteRate = 0;
    std::uint32_t m_sampleRate = 0;
    std::uint16_t m_blockAlign = 0;
    bool m_padByte = false;
};

// One MPEG audio frame header, as four bytes.
struct MpegHeader
{
    int version = 0;          // 1, 2, or 25 for MPEG 2.5
    int layer = 0;            // 1 to 3
    int bitrate = 0;          // bits per second
    int sampleRate = 0;       // Hz
    int samples = 0;          // per frame
    int bytes = 0;            // the frame's length, header included
    bool mono = false;
};

// False unless the four bytes are a frame header a decoder plays (no free
// format, no reserved values).
bool ParseMpegHeader(const unsigned char* p, MpegHeader& header);

// The walks the copy made of the audio files it read, by path relative
// to the folder it copied into.
using WalkedAudio = std::map<std::string, AudioWalk>;

// True for the names of audio files that the walk understands (.mp3,
// .mp2, .mpa, .mpga, .wav), in any letter case.
bool IsWalkedAudioName(const std::string& name);

} // namespace check
