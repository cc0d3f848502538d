// The station's log: one row per book in talvora-archief.csv in the
// output folder, for the staff and for whatever spreadsheet they open it in.
//
// RFC 4180: comma-separated, CRLF line ends, a field quoted when it holds a
// comma, a quote or a line break, quotes doubled. A field that starts with
// '=', '+', '-', '@', a tab or a carriage return gets a leading "'", so
// that no spreadsheet runs a disc's title as a formula. UTF-8 with a
// byte order mark at the start of the file: without it Excel reads the
// bytes as the system's ANSI code page and "Zoë" arrives as "ZoÃ«"; with it
// Excel and LibreOffice both take UTF-8. A Dutch Excel splits on ';' when a
// file is opened by double-click, so the separator line that would fix that
// ("sep=,") is not written: it would be a data row to every other reader.
// Staff open the file through Data > From text/CSV, or LibreOffice, which
// asks; the header row names every column either way.
//
// Rows are appended with one write(2) to a file opened O_APPEND, under a
// lock of the process and flock(2) for other processes, so rows of two
// workers or two stations never interleave; a row written only in part
// (a full drive) is cut off again, so a file never ends in half a row.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace station {

enum class Outcome
{
    Copied,         // "gekopieerd"
    AlreadyThere,   // "al aanwezig"
    ArchiveDamaged, // "archief beschadigd": the copy there no longer matched its manifest
    Incomplete,     // "onvolledig"
    Refused,        // "geweigerd"
    Failed,         // "mislukt"
    Stopped,        // "gestopt": the station was stopped during the copy
};

// The outcome as the log writes it (StationTexts.cpp).
const char* OutcomeWord(Outcome outcome);

struct LogRow
{
    std::string time;        // local time, "2024-05-01 14:03:12"
    std::string drive;
    std::string identifier;
    std::string title;
    std::string author;
    std::string setInfo;
    std::string daisyVersion;  // "2.02" or "3"
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    double seconds = 0;
    Outcome outcome = Outcome::Failed;
    std::string folder;      // the folder's name in the output folder; "" when none
    std::string message;     // Dutch
};

inline constexpr const char* kLogName = "talvora-archief.csv";

// One CSV field, quoted when it must be, never a formula.
std::string CsvField(const std::string& text);

// The header line or a row, with its CRLF.
std::string CsvHeader();
std::string CsvRow(const LogRow& row);

// Appends one row to the log at path, writing the byte order mark and the
// header first when the file is new or empty. 0 or an errno value.
int AppendRow(const std::string& path, const LogRow& row);

// "2024-05-01 14:03:12", local time, now.
std::string NowText();

} // namespace station
