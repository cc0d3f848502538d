#include "check/AudioLength.h"

#include "text/Ascii.h"

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace bookcheck {

namespace {

// The file as the two libraries see it: its real size, but bytes only from
// the few windows the check reads.
class CAudioHead
{
public:
    CAudioHead(IBookFileAccess& files, const std::string& path, std::uint64_t size)
        : m_files(files), m_path(path), m_size(size)
    {}

    std::uint64_t Size() const { return m_size; }

    // Up to count bytes at pos; 0 at the end and once the budget is spent.
    std::size_t ReadAt(std::uint64_t pos, void* out, std::size_t count)
    {
        if (pos >= m_size || count == 0)
            return 0;
        if (pos < m_windowStart || pos >= m_windowStart + m_window.size()) {
            if (m_spent >= kAudioReadLimit)
                return 0;
            const std::size_t want = std::min(std::max(count, kAudioHeadBytes), kAudioReadLimit - m_spent);
            if (m_files.Read(m_path, pos, want, m_window) != 0)
                m_window.clear();
            m_windowStart = pos;
            m_spent += want;
            if (m_window.empty())
                return 0;
        }
        const std::size_t at = static_cast<std::size_t>(pos - m_windowStart);
        const std::size_t n = std::min(count, m_window.size() - at);
        std::memcpy(out, m_window.data() + at, n);
        return n;
    }

private:
    IBookFileAccess& m_files;
    const std::string& m_path;
    std::uint64_t m_size;
    std::string m_window;
    std::uint64_t m_windowStart = 0;
    std::size_t m_spent = 0;
};

// A reader's position; base hides what comes before the audio (an ID3
// tag that libmpg123 would otherwise read through to skip it).
struct Cursor
{
    CAudioHead* head;
    std::int64_t pos = 0;
    std::uint64_t base = 0;

    std::uint64_t Size() const { return head->Size() > base ? head->Size() - base : 0; }
};

std::int64_t SeekTo(Cursor& c, std::int64_t offset, int whence)
{
    const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? c.pos : static_cast<std::int64_t>(c.Size());
    if (offset > INT64_MAX - base || base + offset < 0)
        return -1;
    c.pos = base + offset;
    return c.pos;
}

std::size_t ReadFrom(Cursor& c, void* out, std::size_t count)
{
    const std::size_t n = c.head->ReadAt(c.base + static_cast<std::uint64_t>(c.pos), out, count);
    c.pos += static_cast<std::int64_t>(n);
    return n;
}

std::uint32_t BigEndian32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// What an Xing, Info or VBRI header in the first frame announces. libmpg123
// reads the frame count of an Xing header but keeps its byte count to
// itself, and knows no VBRI header; both are needed to see a cut file.
struct Announced
{
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
    std::uint64_t audioStart = 0;
};

Announced ReadAnnouncement(CAudioHead& head)
{
    Announced a;
    unsigned char id3[10];
    if (head.ReadAt(0, id3, sizeof id3) == sizeof id3 && std::memcmp(id3, "ID3", 3) == 0) {
        const std::uint64_t tag = (std::uint64_t{id3[6] & 0x7Fu} << 21) | (std::uint64_t{id3[7] & 0x7Fu} << 14) |
                                  (std::uint64_t{id3[8] & 0x7Fu} << 7) | (id3[9] & 0x7Fu);
        a.audioStart = 10 + tag + ((id3[5] & 0x10) != 0 ? 10 : 0);
    }
    unsigned char frame[1024] = {};
    const std::size_t got = head.ReadAt(a.audioStart, frame, sizeof frame);
    std::size_t sync = 0;
    while (sync + 1 < got && !(frame[sync] == 0xFF && (frame[sync + 1] & 0xE0) == 0xE0))
        ++sync;
    a.audioStart += sync;
    // Xing or Info follows the side information (9, 17 or 32 bytes after the
    // four header bytes); VBRI always sits 32 bytes after them.
    for (const std::size_t at : {13u, 21u, 36u}) {
        const unsigned char* p = frame + sync + at;
        if (sync + at + 16 > got)
            break;
        if (std::memcmp(p, "Xing", 4) == 0 || std::memcmp(p, "Info", 4) == 0) {
            const std::uint32_t flags = BigEndian32(p + 4);
            const unsigned char* field = p + 8;
            if ((flags & 1u) != 0) {
                a.frames = BigEndian32(field);
                field += 4;
            }
            if ((flags & 2u) != 0 && sync + at + 16 <= got)
                a.bytes = BigEndian32(field);
            return a;
        }
        if (at == 36 && std::memcmp(p, "VBRI", 4) == 0 && sync + at + 18 <= got) {
            a.bytes = BigEndian32(p + 10);
            a.frames = BigEndian32(p + 14);
            return a;
        }
    }
    return a;
}

ssize_t MpgRead(void* handle, void* out, std::size_t count)
{
    return static_cast<ssize_t>(ReadFrom(*static_cast<Cursor*>(handle), out, count));
}

off_t MpgSeek(void* handle, off_t offset, int whence)
{
    return static_cast<off_t>(SeekTo(*static_cast<Cursor*>(handle), offset, whence));
}

AudioLength MeasureMpeg(CAudioHead& head)
{
    static const bool ready = mpg123_init() == MPG123_OK;
    AudioLength result;
    if (!ready)
        return result;
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (mh == nullptr)
        return result;
    const Announced announced = ReadAnnouncement(head);
    Cursor cursor{&head, 0, announced.audioStart};
    // No peeking at the file's end for an ID3v1 tag: that would be a second
    // seek on a disc for 128 bytes that change nothing.
    mpg123_param(mh, MPG123_FLAGS, MPG123_QUIET | MPG123_NO_PEEK_END, 0);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_replace_reader_handle(mh, MpgRead, MpgSeek, nullptr) == MPG123_OK &&
        mpg123_open_handle(mh, &cursor) == MPG123_OK &&
        mpg123_set_filesize(mh, static_cast<off_t>(cursor.Size())) == MPG123_OK &&
        mpg123_getformat(mh, &rate, &channels, &encoding) == MPG123_OK && rate > 0) {
        const int samplesPerFrame = mpg123_spf(mh);
        if (announced.frames > 0 && samplesPerFrame > 0) {
            result.seconds = static_cast<double>(announced.frames) * samplesPerFrame / static_cast<double>(rate);
            result.known = true;
        } else if (const off_t samples = mpg123_length(mh); samples > 0) {
            result.seconds = static_cast<double>(samples) / static_cast<double>(rate);
            result.known = true;
        }
        if (result.known && announced.bytes > 0 && cursor.Size() < announced.bytes)
            result.seconds *= static_cast<double>(cursor.Size()) / static_cast<double>(announced.bytes);
    }
    mpg123_delete(mh);
    return result;
}

sf_count_t SfLength(void* data)
{
    return static_cast<sf_count_t>(static_cast<Cursor*>(data)->head->Size());
}

sf_count_t SfSeek(sf_count_t offset, int whence, void* data)
{
    return SeekTo(*static_cast<Cursor*>(data), offset, whence);
}

sf_count_t SfRead(void* out, sf_count_t count, void* data)
{
    return count <= 0 ? 0 : static_cast<sf_count_t>(ReadFrom(*static_cast<Cursor*>(data), out, static_cast<std::size_t>(count)));
}

sf_count_t SfWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t SfTell(void* data)
{
    return static_cast<Cursor*>(data)->pos;
}

AudioLength MeasureWithSndfile(CAudioHead& head)
{
    AudioLength result;
    Cursor cursor{&head};
    SF_VIRTUAL_IO io = {SfLength, SfSeek, SfRead, SfWrite, SfTell};
    SF_INFO info = {};
    // libsndfile takes the frame count from the data chunk's size, and no
    // more than the file holds: a cut WAV file measures short.
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &cursor);
    if (file == nullptr)
        return result;
    if (info.samplerate > 0 && info.frames >= 0) {
        result.known = true;
        result.seconds = static_cast<double>(info.frames) / info.samplerate;
    }
    sf_close(file);
    return result;
}

bool IsMpegName(std::string_view path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string_view ext = path.substr(dot + 1);
    return EqualIgnoringAsciiCase(ext, "mp3") || EqualIgnoringAsciiCase(ext, "mp2") ||
           EqualIgnoringAsciiCase(ext, "mpa") || EqualIgnoringAsciiCase(ext, "mpga");
}

} // namespace

AudioLength MeasureAudio(IBookFileAccess& files, const std::string& path, std::uint64_t size)
{
    CAudioHead head(files, path, size);
    return IsMpegName(path) ? MeasureMpeg(head) : MeasureWithSndfile(head);
}

} // namespace bookcheck
