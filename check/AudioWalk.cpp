#include "check/AudioWalk.h"

#include "text/Ascii.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace check {

namespace {

// kbit/s by bitrate index 1 to 14.
constexpr int kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG 1 layer I
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG 1 layer II
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG 1 layer III
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG 2 and 2.5 layer I
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG 2 and 2.5 layers II and III
};
constexpr int kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

std::uint32_t BigEndian32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::uint32_t LittleEndian32(const unsigned char* p)
{
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

std::uint16_t LittleEndian16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

bool StartsWith(const unsigned char* p, std::size_t available, const char* text)
{
    const std::size_t n = std::strlen(text);
    return available >= n && std::memcmp(p, text, n) == 0;
}

// Where a tag may begin: what may follow a frame instead of the next one.
// Three bytes tell, so that the verdict never hangs on how the bytes came.
bool IsTagStart(const unsigned char* p, std::size_t available)
{
    return StartsWith(p, available, "ID3") || StartsWith(p, available, "TAG") || StartsWith(p, available, "APE");
}

// Two headers of one stream: same version, layer and sample rate.
bool SameStream(const unsigned char* a, const unsigned char* b)
{
    return (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

} // namespace

bool ParseMpegHeader(const unsigned char* p, MpegHeader& h)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (p[3] & 3) == 2)
        return false;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.layer = 4 - layerBits;
    const bool mpeg1 = h.version == 1;
    const int table = mpeg1 ? h.layer - 1 : (h.layer == 1 ? 3 : 4);
    h.bitrate = kBitrates[table][bitrateIndex - 1] * 1000;
    h.sampleRate = kSampleRates[mpeg1 ? 0 : h.version == 2 ? 1 : 2][rateIndex];
    const int padding = (p[2] >> 1) & 1;
    h.mono = (p[3] >> 6) == 3;
    if (h.layer == 1) {
        h.samples = 384;
        h.bytes = (12 * h.bitrate / h.sampleRate + padding) * 4;
    } else {
        h.samples = h.layer == 3 && !mpeg1 ? 576 : 1152;
        h.bytes = (h.layer == 3 && !mpeg1 ? 72 : 144) * h.bitrate / h.sampleRate + padding;
    }
    return h.bytes > 4;
}

bool IsWalkedAudioName(const std::string& name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string_view ext = std::string_view(name).substr(dot + 1);
    for (const std::string_view known : {"mp3", "mp2", "mpa", "mpga", "wav"})
        if (EqualIgnoringAsciiCase(ext, known))
            return true;
    return false;
}

CAudioWalker::CAudioWalker() = default;

void CAudioWalker::Feed(const char* data, std::size_t size)
{
    m_walk.bytes += size;
    // A tag or the sound of a WAV file passes straight from the input.
    if (m_started && m_pos == m_buffer.size() && m_skip > 0) {
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(m_skip, size));
        m_skip -= take;
        m_offset += take;
        if (m_inData)
            m_dataPresent += take;
        data += take;
        size -= take;
    }
    m_buffer.erase(0, m_pos);
    m_pos = 0;
    m_buffer.append(data, size);
    Walk(false);
}

void CAudioWalker::Walk(bool atEnd)
{
    for (;;) {
        if (m_skip > 0) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(m_skip, m_buffer.size() - m_pos));
            m_skip -= take;
            m_pos += take;
            m_offset += take;
            if (m_inData)
                m_dataPresent += take;
            if (m_skip > 0)
                return;
        }
        if (m_inData) {
            // The pad byte after an odd chunk is no sound.
            m_inData = false;
            m_skip = m_padByte ? 1 : 0;
            continue;
        }
        if (!m_started) {
            if (m_buffer.size() - m_pos < 12 && !atEnd)
                return;
            const auto* p = reinterpret_cast<const unsigned char*>(m_buffer.data() + m_pos);
            const std::size_t available = m_buffer.size() - m_pos;
            if (StartsWith(p, available, "RIFF") && available >= 12 && std::memcmp(p + 8, "WAVE", 4) == 0)
                m_walk.format = AudioFormat::Wav;
            m_started = true;
        }
        const bool moved = m_walk.format == AudioFormat::Wav ? WalkWav(atEnd) : WalkMpeg(atEnd);
        if (!moved)
            return;
    }
}

void CAudioWalker::Garbage(std::uint64_t bytes)
{
    if (!m_inGap) {
        m_inGap = true;
        m_gap = AudioGap{};
        m_gap.at = m_walk.seconds;
        m_gap.offset = m_offset;
    }
    m_gap.bytes += bytes;
    m_pos += static_cast<std::size_t>(bytes);
    m_offset += bytes;
}

void CAudioWalker::EndGap()
{
    if (!m_inGap)
        return;
    m_inGap = false;
    m_gap.seconds = m_bitsPerSecond > 0 ? static_cast<double>(m_gap.bytes) * 8 / m_bitsPerSecond : 0;
    if (m_walk.gaps.size() < kMaxGaps)
        m_walk.gaps.push_back(m_gap);
    ++m_walk.gapCount;
}

bool CAudioWalker::WalkMpeg(bool atEnd)
{
    const std::size_t available = m_buffer.size() - m_pos;
    if (available == 0)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(m_buffer.data() + m_pos);
    if (available < 10 && !atEnd)
        return false;
    // Tags: passed over by their own length.
    if (StartsWith(p, available, "ID3") && available >= 10 && p[3] != 0xFF && p[4] != 0xFF &&
        ((p[6] | p[7] | p[8] | p[9]) & 0x80) == 0) {
        const std::uint64_t size = (std::uint64_t{p[6]} << 21) | (std::uint64_t{p[7]} << 14) |
                                   (std::uint64_t{p[8]} << 7) | p[9];
        EndGap();
        m_skip = 10 + size + ((p[5] & 0x10) != 0 ? 10 : 0);
        return true;
    }
    if (StartsWith(p, available, "TAG")) {
        if (available < 128 && !atEnd)
            return false;
        if (available >= 128) {
            EndGap();
            m_skip = 128;
            return true;
        }
    }
    if (StartsWith(p, available, "APETAGEX")) {
        if (available < 32 && !atEnd)
            return false;
        if (available >= 32) {
            EndGap();
            const bool header = (LittleEndian32(p + 20) & (1u << 29)) != 0;
            m_skip = 32 + (header ? std::uint64_t{LittleEndian32(p + 12)} : 0);
            return true;
        }
    }
    MpegHeader h;
    if (available >= 4 && ParseMpegHeader(p, h)) {
        const auto length = static_cast<std::size_t>(h.bytes);
        bool frame = false;
        if (available >= length + 4) {
            const unsigned char* next = p + length;
            MpegHeader following;
            frame = (ParseMpegHeader(next, following) && SameStream(p, next)) || IsTagStart(next, available - length);
        } else if (atEnd) {
            frame = available >= length;
        } else {
            return false;  // its end is not here yet
        }
        if (frame) {
            bool announces = false;
            if (!m_announcerChecked) {
                // Xing and Info follow the side information, VBRI always
                // sits 32 bytes after the header.
                m_announcerChecked = true;
                const std::size_t side = h.version == 1 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
                const unsigned char* x = p + 4 + side;
                if (h.layer == 3 && 4 + side + 12 <= length &&
                    (std::memcmp(x, "Xing", 4) == 0 || std::memcmp(x, "Info", 4) == 0)) {
                    announces = true;
                    if ((BigEndian32(x + 4) & 1u) != 0)
                        m_walk.announcedSeconds = static_cast<double>(BigEndian32(x + 8)) * h.samples / h.sampleRate;
                } else if (h.layer == 3 && 36 + 18 <= length && std::memcmp(p + 36, "VBRI", 4) == 0) {
                    announces = true;
                    m_walk.announcedSeconds = static_cast<double>(BigEndian32(p + 50)) * h.samples / h.sampleRate;
                }
            }
            m_bitsPerSecond = h.bitrate;
            EndGap();
            if (!announces) {
                ++m_walk.frames;
                m_walk.seconds += static_cast<double>(h.samples) / h.sampleRate;
            }
            m_pos += length;
            m_offset += length;
            return true;
        }
    }
    // No frame here: on to the next byte that could start one or a tag.
    const unsigned char* end = p + available;
    const unsigned char* q = p + 1;
    while (q < end && *q != 0xFF && *q != 'I' && *q != 'T' && *q != 'A')
        ++q;
    Garbage(static_cast<std::uint64_t>(q - p));
    return true;
}

bool CAudioWalker::WalkWav(bool atEnd)
{
    const std::size_t available = m_buffer.size() - m_pos;
    const auto* p = reinterpret_cast<const unsigned char*>(m_buffer.data() + m_pos);
    if (!m_wavHeaderRead) {
        m_wavHeaderRead = true;
        m_pos += 12;
        m_offset += 12;
        return true;
    }
    if (available < 8) {
        if (!atEnd || available == 0)
            return false;
        m_pos += available;  // a stray end, no chunk
        m_offset += available;
        return true;
    }
    const std::uint32_t size = LittleEndian32(p + 4);
    if (std::memcmp(p, "fmt ", 4) == 0) {
        if (available < 8 + 16 && size >= 16 && !atEnd)
            return false;
        if (available >= 8 + 16 && size >= 16) {
            m_sampleRate = LittleEndian32(p + 12);
            m_byteRate = LittleEndian32(p + 16);
            m_blockAlign = LittleEndian16(p + 20);
        }
        m_pos += 8;
        m_offset += 8;
        m_skip = std::uint64_t{size} + (size & 1);
        return true;
    }
    m_pos += 8;
    m_offset += 8;
    if (std::memcmp(p, "data", 4) == 0) {
        // 0 and 0xFFFFFFFF: written by a recorder that never came back to
        // fill in the size; the sound runs to the end.
        const bool open = size == 0 || size == 0xFFFFFFFFu;
        m_dataDeclared = open ? std::numeric_limits<std::uint64_t>::max() : m_dataDeclared + size;
        m_inData = true;
        m_padByte = !open && (size & 1) != 0;
        m_skip = open ? std::numeric_limits<std::uint64_t>::max() : size;
        return true;
    }
    m_skip = std::uint64_t{size} + (size & 1);
    return true;
}

AudioWalk CAudioWalker::Finish()
{
    Walk(true);
    EndGap();
    if (m_walk.format == AudioFormat::Wav) {
        const double perSecond = m_blockAlign > 0 && m_sampleRate > 0
                                     ? static_cast<double>(m_blockAlign) * m_sampleRate
                                     : static_cast<double>(m_byteRate);
        if (perSecond > 0) {
            const std::uint64_t whole = m_blockAlign > 0 ? m_dataPresent / m_blockAlign * m_blockAlign : m_dataPresent;
            m_walk.seconds = static_cast<double>(whole) / perSecond;
            const bool open = m_dataDeclared == std::numeric_limits<std::uint64_t>::max();
            if (!open)
                m_walk.announcedSeconds = static_cast<double>(m_dataDeclared) / perSecond;
            if (!open && m_dataDeclared > m_dataPresent) {
                AudioGap gap;
                gap.at = m_walk.seconds;
                gap.offset = m_offset;
                gap.bytes = m_dataDeclared - m_dataPresent;
                gap.seconds = static_cast<double>(gap.bytes) / perSecond;
                m_walk.gaps.push_back(gap);
                ++m_walk.gapCount;
            }
        }
    } else if (m_walk.frames > 0) {
        m_walk.format = AudioFormat::Mpeg;
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    return m_walk;
}

} // namespace check
