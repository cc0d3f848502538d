#include "station/ArchiveLog.h"

#include "posix/Posix.h"

#include <cstdio>
#include <string_view>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace station {

namespace {

const char kBom[] = "\xEF\xBB\xBF";

// Rows of every worker go through here; flock alone would not order two
// threads that each open the file (it is per open file, but a thread could
// still race the header's check against another's first row).
std::mutex& LogMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Writes text whole at the end of fd, or not at all.
int WriteWhole(int fd, const std::string& text)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    const ssize_t n = posix::RetryOnInterrupt([&] { return ::write(fd, text.data(), text.size()); });
    if (n == static_cast<ssize_t>(text.size()))
        return ::fdatasync(fd) != 0 ? errno : 0;
    const int error = n < 0 ? errno : ENOSPC;
    if (n > 0 && ::ftruncate(fd, st.st_size) != 0)
        return errno;
    return error;
}

// A power loss can leave the end of the last write unwritten: what
// follows the last complete line goes, so the next row starts a line of
// its own and no half row stays. The file is short enough per batch to
// look back a little at a time.
int CutHalfRow(int fd, off_t size)
{
    char tail[4096];
    off_t end = size;
    while (end > 0) {
        const off_t start = end > off_t(sizeof tail) ? end - off_t(sizeof tail) : 0;
        const ssize_t n = ::pread(fd, tail, static_cast<std::size_t>(end - start), start);
        if (n <= 0)
            return n < 0 ? errno : EIO;
        for (ssize_t i = n - 1; i >= 0; --i)
            if (tail[i] == '\n')
                return start + i + 1 == size ? 0 : (::ftruncate(fd, start + i + 1) != 0 ? errno : 0);
        end = start;
    }
    return ::ftruncate(fd, 0) != 0 ? errno : 0;
}

} // namespace

std::string CsvField(const std::string& raw)
{
    // A spreadsheet runs a cell that starts like a formula, and a title
    // comes from whoever made the disc: the leading quote makes it text.
    const std::string text = !raw.empty() && std::string_view("=+-@\t\r").find(raw.front()) != std::string_view::npos
                                 ? "'" + raw
                                 : raw;
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string CsvHeader()
{
    return "tijd,cd-station,identificatie,titel,auteur,set,daisy-versie,bestanden,bytes,seconden,uitkomst,map,"
           "melding\r\n";
}

std::string CsvRow(const LogRow& row)
{
    const std::string fields[] = {row.time,         row.drive,     row.identifier,
                                  row.title,        row.author,    row.setInfo,
                                  row.daisyVersion, std::to_string(row.files),
                                  std::to_string(row.bytes),       Number(row.seconds),
                                  OutcomeWord(row.outcome),        row.folder,
                                  row.message};
    std::string line;
    for (const std::string& field : fields) {
        if (!line.empty() || &field != fields)
            line += ',';
        // One row, one line: a message's line breaks become blanks, so
        // that the file's lines are its rows to any tool and to the repair
        // after a power loss.
        std::string flat = field;
        for (char& c : flat)
            if (c == '\n' || c == '\r')
                c = ' ';
        line += CsvField(flat);
    }
    return line + "\r\n";
}

int AppendRow(const std::string& path, const LogRow& row)
{
    std::lock_guard<std::mutex> hold(LogMutex());
    posix::CFd fd(posix::RetryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644); }));
    if (fd.Get() < 0)
        return errno;
    // A FIFO under the log's name would hold every worker up.
    struct stat kind;
    if (::fstat(fd.Get(), &kind) != 0)
        return errno;
    if (!S_ISREG(kind.st_mode))
        return EINVAL;
    if (posix::RetryOnInterrupt([&] { return ::flock(fd.Get(), LOCK_EX); }) != 0)
        return errno;
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0)
        return errno;
    if (st.st_size > 0) {
        if (const int error = CutHalfRow(fd.Get(), st.st_size))
            return error;
        if (::fstat(fd.Get(), &st) != 0)
            return errno;
    }
    // A header cut short is cut away whole, and written again.
    std::string text;
    if (st.st_size == 0)
        text = kBom + CsvHeader();
    return WriteWhole(fd.Get(), text + CsvRow(row));
}

std::string NowText()
{
    const std::time_t now = std::time(nullptr);
    struct tm local;
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace station
