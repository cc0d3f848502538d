#include "check/AudioLength.h"

#include <algorithm>
#include <cstring>

namespace check {

namespace {

std::uint32_t BigEndian32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::uint32_t LittleEndian32(const unsigned char* p)
{
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

// Tags after the last frame (ID3v1: 128 bytes) that a byte count leaves out.
constexpr std::uint64_t kTrailingTags = 128;

// RIFF WAVE: the data chunk's size against the file's.
AudioLength DeclaredWav(const std::string& head, std::uint64_t size)
{
    AudioLength result;
    const auto* p = reinterpret_cast<const unsigned char*>(head.data());
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    for (std::size_t at = 12; at + 8 <= head.size();) {
        const std::uint32_t chunk = LittleEndian32(p + at + 4);
        if (std::memcmp(p + at, "fmt ", 4) == 0 && chunk >= 16 && at + 24 <= head.size()) {
            sampleRate = LittleEndian32(p + at + 12);
            blockAlign = static_cast<std::uint16_t>(p[at + 20] | (p[at + 21] << 8));
        } else if (std::memcmp(p + at, "data", 4) == 0) {
            const std::uint64_t start = at + 8;
            if (sampleRate == 0 || blockAlign == 0 || chunk == 0 || chunk == 0xFFFFFFFFu || start > size)
                return result;
            // What is there plays, whether the header promised more or
            // not: a cut WAV file is as long as its sound.
            const std::uint64_t present = std::min<std::uint64_t>(chunk, size - start);
            result.known = true;
            result.seconds = static_cast<double>(present / blockAlign) / sampleRate;
            return result;
        }
        at += 8 + std::size_t{chunk} + (chunk & 1);
    }
    return result;
}

// MPEG audio: the first frame's Xing, Info or VBRI header, when its byte
// count is the file's (less its tags).
AudioLength DeclaredMpeg(const std::string& head, std::uint64_t audioStart, std::uint64_t size)
{
    AudioLength result;
    const auto* p = reinterpret_cast<const unsigned char*>(head.data());
    std::size_t sync = 0;
    MpegHeader h;
    while (sync + 4 <= head.size() && !ParseMpegHeader(p + sync, h))
        ++sync;
    if (sync + 4 > head.size() || h.layer != 3)
        return result;
    const std::size_t side = h.version == 1 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
    const unsigned char* x = p + sync + 4 + side;
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
    if (sync + 4 + side + 16 <= head.size() && (std::memcmp(x, "Xing", 4) == 0 || std::memcmp(x, "Info", 4) == 0)) {
        const std::uint32_t flags = BigEndian32(x + 4);
        if ((flags & 3u) != 3u)
            return result;  // no frame count, or no byte count to hold it to
        frames = BigEndian32(x + 8);
        bytes = BigEndian32(x + 12);
    } else if (sync + 36 + 18 <= head.size() && std::memcmp(p + sync + 36, "VBRI", 4) == 0) {
        bytes = BigEndian32(p + sync + 46);
        frames = BigEndian32(p + sync + 50);
    } else {
        return result;
    }
    // Encoders count from the announcing frame, some from the file's
    // first byte.
    const std::uint64_t from = audioStart + sync;
    const auto agrees = [&](std::uint64_t counted) { return size >= counted + bytes && size - counted - bytes <= kTrailingTags; };
    if (frames == 0 || bytes == 0 || !(agrees(from) || agrees(0)))
        return result;
    result.known = true;
    result.seconds = static_cast<double>(frames) * h.samples / h.sampleRate;
    return result;
}

} // namespace

AudioLength DeclaredAudioLength(IBookFileAccess& files, const std::string& path, std::uint64_t size)
{
    AudioLength result;
    std::string head;
    if (const int error = files.Read(path, 0, kAudioHeadBytes, head); error != 0) {
        result.error = error;
        return result;
    }
    if (head.size() >= 12 && head.compare(0, 4, "RIFF") == 0 && head.compare(8, 4, "WAVE") == 0)
        return DeclaredWav(head, size);
    std::uint64_t audioStart = 0;
    if (head.size() >= 10 && head.compare(0, 3, "ID3") == 0) {
        const auto* p = reinterpret_cast<const unsigned char*>(head.data());
        if (((p[6] | p[7] | p[8] | p[9]) & 0x80) != 0)
            return result;
        audioStart = 10 + ((std::uint64_t{p[6]} << 21) | (std::uint64_t{p[7]} << 14) | (std::uint64_t{p[8]} << 7) | p[9]) +
                     ((p[5] & 0x10) != 0 ? 10 : 0);
        if (audioStart >= size) {
            // The file ends inside its tag: no sound at all, for sure.
            result.known = true;
            return result;
        }
        if (const int error = files.Read(path, audioStart, kAudioHeadBytes, head); error != 0) {
            result.error = error;
            return result;
        }
    }
    return DeclaredMpeg(head, audioStart, size);
}

int WalkAudioFile(IBookFileAccess& files, const std::string& path, AudioWalk& walk)
{
    CAudioWalker walker;
    std::string bytes;
    for (std::uint64_t offset = 0;; offset += bytes.size()) {
        if (const int error = files.Read(path, offset, kAudioWalkRead, bytes); error != 0)
            return error;
        if (bytes.empty())
            break;
        walker.Feed(bytes.data(), bytes.size());
        if (bytes.size() < kAudioWalkRead)
            break;
    }
    walk = walker.Finish();
    return 0;
}

} // namespace check
