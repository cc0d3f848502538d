// Audio files made in the test: MPEG frames with valid headers and silent
// payloads (a decoder plays them as silence), WAV files, and the damage a
// disc does to them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace audiofiles {

// Four header bytes and the frame's length and samples.
struct FrameKind
{
    unsigned char b1, b2, b3;
    int bytes;
    int samples;
    int rate;
};

// MPEG-1 layer III, 44.1 kHz mono: 104 bytes at 32 kbit/s, 208 at 64.
inline constexpr FrameKind kMpeg1Slow{0xFB, 0x10, 0xC4, 104, 1152, 44100};
inline constexpr FrameKind kMpeg1Fast{0xFB, 0x50, 0xC4, 208, 1152, 44100};
// MPEG-2 layer III, 22.05 kHz mono, 8 kbit/s: 26 bytes, 576 samples.
inline constexpr FrameKind kMpeg2Low{0xF3, 0x10, 0xC4, 26, 576, 22050};
// MPEG-2.5 layer III, 8 kHz mono, 8 kbit/s: 72 bytes, 576 samples.
inline constexpr FrameKind kMpeg25Low{0xE3, 0x18, 0xC4, 72, 576, 8000};
// MPEG-1 layer II, 44.1 kHz mono, 32 kbit/s: 104 bytes.
inline constexpr FrameKind kLayer2{0xFD, 0x10, 0xC4, 104, 1152, 44100};
// MPEG-1 layer I, 44.1 kHz mono, 32 kbit/s: 32 bytes, 384 samples.
inline constexpr FrameKind kLayer1{0xFF, 0x10, 0xC4, 32, 384, 44100};

inline std::string Frame(const FrameKind& kind)
{
    std::string frame(static_cast<std::size_t>(kind.bytes), '\0');
    frame[0] = '\xFF';
    frame[1] = static_cast<char>(kind.b1);
    frame[2] = static_cast<char>(kind.b2);
    frame[3] = static_cast<char>(kind.b3);
    return frame;
}

inline void PutBigEndian(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// How many frames of kind play seconds.
inline int FramesFor(double seconds, const FrameKind& kind)
{
    return static_cast<int>(seconds * kind.rate / kind.samples + 0.5);
}

inline double SecondsOf(int frames, const FrameKind& kind)
{
    return static_cast<double>(frames) * kind.samples / kind.rate;
}

struct Mp3Options
{
    const FrameKind* slow = &kMpeg1Slow;
    const FrameKind* fast = nullptr;  // every other frame, for VBR
    const char* announce = nullptr;   // "Xing", "Info" or "VBRI": a first frame that announces the rest
    bool announceBytes = true;        // the announcing frame also counts the bytes
    std::size_t id3Bytes = 0;         // an ID3v2 tag before the audio
};

// frames of audio as the options say.
inline std::string Mp3(int frames, const Mp3Options& o = {})
{
    std::string audio;
    for (int i = 0; i < frames; ++i)
        audio += Frame(o.fast != nullptr && i % 2 == 1 ? *o.fast : *o.slow);
    if (o.announce != nullptr) {
        std::string info = Frame(*o.slow);
        const bool vbri = std::string(o.announce) == "VBRI";
        const std::size_t at = vbri ? 36 : (o.slow->b1 & 0x08 ? 21 : 13);
        info.replace(at, 4, o.announce);
        const auto bytes = static_cast<std::uint32_t>(audio.size() + info.size());
        if (vbri) {
            PutBigEndian(info, at + 10, bytes);
            PutBigEndian(info, at + 14, static_cast<std::uint32_t>(frames));
        } else {
            PutBigEndian(info, at + 4, o.announceBytes ? 3 : 1);
            PutBigEndian(info, at + 8, static_cast<std::uint32_t>(frames));
            if (o.announceBytes)
                PutBigEndian(info, at + 12, bytes);
        }
        audio = info + audio;
    }
    std::string file;
    if (o.id3Bytes > 0) {
        file = std::string("ID3\x03\0\0", 6) + std::string(4, '\0') + std::string(o.id3Bytes, 'x');
        for (int i = 0; i < 4; ++i)
            file[6 + i] = static_cast<char>((o.id3Bytes >> (21 - 7 * i)) & 0x7F);
    }
    return file + audio;
}

// A WAV file of seconds of 8 kHz 16-bit mono silence.
inline std::string Wav(double seconds)
{
    const auto data = static_cast<std::uint32_t>(seconds * 16000);
    auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>(v >> (8 * i)));
        return s;
    };
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4) +
           le(2, 2) + le(16, 2) + "data" + le(data, 4) + std::string(data, '\0');
}

// Damage: the part from `from` to `to` (fractions of the size) zeroed;
// the file cut to `keep` of its size.
inline std::string Zeroed(std::string file, double from, double to)
{
    const auto a = static_cast<std::size_t>(static_cast<double>(file.size()) * from);
    const auto b = static_cast<std::size_t>(static_cast<double>(file.size()) * to);
    std::fill(file.begin() + static_cast<std::ptrdiff_t>(a), file.begin() + static_cast<std::ptrdiff_t>(b), '\0');
    return file;
}

inline std::string Cut(std::string file, double keep)
{
    file.resize(static_cast<std::size_t>(static_cast<double>(file.size()) * keep));
    return file;
}

} // namespace audiofiles
