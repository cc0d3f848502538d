// The archive station's figures: four drives slowed to a CD's speed,
// each copy read back from the drive, against one alone; a duplicate disc
// against reading it once; discs per hour with four modelled drives
// (7 MB/s, 80 ms a file open) scaled to 650 MB discs; recognising a large
// archived disc (an NCC of 40,000 entries, 1,000 files) against hashing
// its files alone; and memory over a batch of 100 books.
//
//   talvora-station-bench [--mb 20] [--speed 3.6] [--books 100] [--dir /var/tmp]
//                         [--ncc-entries 40000] [--files 1000]
//                         [--model-mb 20] [--model-speed 7] [--model-open-ms 80]
//                         [--disc-mb 650] [--disc-files 400]
#include "book/DiscBooks.h"
#include "copy/CopyEngine.h"
#include "station/Station.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double g_bytesPerSecond = 3.6e6; // a 24x CD drive
double g_openSeconds = 0;         // what opening a file costs the drive
int g_nccEntries = 40000;         // headings and pages of the known disc
int g_files = 1000;               // its SMIL and audio files

// A large book as the known disc: an NCC of g_nccEntries entries, half
// headings and half pages, pointing into g_files / 2 SMIL files, each
// with an audio file beside it.
void MakeKnownDisc(const std::string& folder)
{
    fs::create_directories(folder);
    std::string ncc =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n"
        "<meta http-equiv=\"Content-type\" content=\"text/html; charset=utf-8\" />\n"
        "<title>Groot naslagwerk over de Nederlandse taal</title>\n"
        "<meta name=\"dc:title\" content=\"Groot naslagwerk over de Nederlandse taal\" />\n"
        "<meta name=\"dc:creator\" content=\"Taalunie, Redactie\" />\n"
        "<meta name=\"dc:identifier\" content=\"bench-known\" />\n"
        "<meta name=\"ncc:setInfo\" content=\"1 of 1\" />\n</head>\n<body>\n";
    const int smils = std::max(1, g_files / 2);
    char line[512];
    for (int i = 1; i <= g_nccEntries; ++i) {
        const int smil = 1 + (i - 1) * smils / g_nccEntries;
        if (i % 2 == 1)
            std::snprintf(line, sizeof line,
                          "<h%d class=\"section\" id=\"h%05d\"><a href=\"s%05d.smil#t%05d\">Hoofdstuk %d: "
                          "caf\xC3\xA9 &amp; cr\xC3\xA8me over de spelling en de uitspraak</a></h%d>\n",
                          1 + i % 3, i, smil, i, i, 1 + i % 3);
        else
            std::snprintf(line, sizeof line,
                          "<span class=\"page-normal\" id=\"p%05d\"><a href=\"s%05d.smil#p%05d\">%d</a></span>\n",
                          i, smil, i, i / 2);
        ncc += line;
    }
    ncc += "</body>\n</html>\n";
    std::ofstream(folder + "/ncc.html") << ncc;
    const std::string audio(4096, 'a');
    for (int s = 1; s <= smils; ++s) {
        std::snprintf(line, sizeof line, "%s/s%05d", folder.c_str(), s);
        // Each SMIL plays its own audio file, so that the book check finds
        // the book whole.
        std::ofstream(std::string(line) + ".smil")
            << "<smil><body><audio src=\"" << fs::path(line).filename().string() << ".mp3\"/></body></smil>\n";
        std::ofstream(std::string(line) + ".mp3") << audio;
    }
}

// Reads no faster than a CD drive: every read from the disc waits until
// its bytes would have come, and every file's end (a read of 0 bytes)
// costs a file open.
station::DiscPace CdSpeed()
{
    struct State
    {
        Clock::time_point start;
        double bytes = 0;
        double opens = 0;
    };
    auto state = std::make_shared<State>();
    return [state](std::size_t got) {
        if (state->bytes == 0)
            state->start = Clock::now();
        state->bytes += static_cast<double>(got);
        if (got == 0)
            state->opens += g_openSeconds;
        std::this_thread::sleep_until(
            state->start + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(state->bytes / g_bytesPerSecond + state->opens)));
    };
}

class CQuiet final : public station::IStationEvents
{
public:
    void DriveChanged(const station::Drive&, station::DriveState) override {}
    void BookDone(const station::LogRow&) override {}
};

class CDrives final : public station::IDriveList
{
public:
    std::vector<station::Drive> drives;
    std::vector<station::Drive> Drives() override { return drives; }
    void Eject(const station::Drive&) override {}
};

void MakeBook(const std::string& folder, const std::string& options)
{
    const std::string command =
        "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py " + folder + " " + options + " >/dev/null";
    if (std::system(command.c_str()) != 0)
        std::exit(1);
}

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

station::StationSetup PacedSetup(const std::string& work)
{
    station::StationSetup setup;
    setup.outputDir = work + "/uit/";
    setup.makePace = CdSpeed;
    // Every copy is read back from the drive, as staff would have it.
    setup.settings.VerifyCopy = 1;
    return setup;
}

double RunBatch(const std::string& work, const std::vector<std::string>& discs)
{
    fs::remove_all(work + "/uit");
    fs::create_directories(work + "/uit");
    const station::StationSetup setup = PacedSetup(work);
    CDrives drives;
    for (const std::string& disc : discs)
        drives.drives.push_back({disc + "/", disc});
    CQuiet quiet;
    station::CStation station(setup, drives, quiet);
    const auto start = Clock::now();
    station.RunOnce();
    return Seconds(start);
}

long RssKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int mb = 20, books = 100, modelMb = 20, discMb = 650, discFiles = 400;
    double modelSpeed = 7e6, modelOpen = 0.080;
    std::string base = "/var/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--mb")
            mb = std::atoi(argv[i + 1]);
        else if (option == "--speed")
            g_bytesPerSecond = std::atof(argv[i + 1]) * 1e6;
        else if (option == "--books")
            books = std::atoi(argv[i + 1]);
        else if (option == "--dir")
            base = argv[i + 1];
        else if (option == "--ncc-entries")
            g_nccEntries = std::max(2, std::atoi(argv[i + 1]));
        else if (option == "--files")
            g_files = std::max(2, std::atoi(argv[i + 1]));
        else if (option == "--model-mb")
            modelMb = std::atoi(argv[i + 1]);
        else if (option == "--model-speed")
            modelSpeed = std::atof(argv[i + 1]) * 1e6;
        else if (option == "--model-open-ms")
            modelOpen = std::atof(argv[i + 1]) / 1e3;
        else if (option == "--disc-mb")
            discMb = std::atoi(argv[i + 1]);
        else if (option == "--disc-files")
            discFiles = std::atoi(argv[i + 1]);
    }
    std::string work = base + "/talvora-station-bench-XXXXXX";
    if (!::mkdtemp(work.data()))
        return 1;

    std::vector<std::string> discs;
    for (int d = 1; d <= 4; ++d) {
        discs.push_back(work + "/cd" + std::to_string(d));
        MakeBook(discs.back(), "--id bench-" + std::to_string(d) + " --extra-mb " + std::to_string(mb));
    }
    const double one = RunBatch(work, {discs[0]});
    const double four = RunBatch(work, discs);
    std::printf("four drives at %.1f MB/s with read-back, %d MB books: one book %.2f s, four at once %.2f s, "
                "ratio %.2f (goal <= 1.15)\n",
                g_bytesPerSecond / 1e6, mb, one, four, four / one);

    // The same disc again, archived already: read once (the archived copy
    // checked beside it), nothing written.
    {
        const station::StationSetup setup = PacedSetup(work);
        station::CNameReservations names;
        std::atomic<bool> cancel{false};
        std::uint64_t bytes = 0;
        for (const auto& entry : fs::recursive_directory_iterator(discs[0]))
            if (entry.is_regular_file())
                bytes += entry.file_size();
        const auto start = Clock::now();
        const station::LogRow row = station::ArchiveDisc(discs[0] + "/", "cd1", setup, names, cancel, nullptr).at(0);
        const double again = Seconds(start);
        if (row.outcome != station::Outcome::AlreadyThere)
            return 1;
        const double readOnce = static_cast<double>(bytes) / g_bytesPerSecond;
        std::printf("a duplicate disc: %.2f s, reading it once at the drive's speed %.2f s, ratio %.2f (goal <= 1.05); "
                    "its first copy took %.2f s\n",
                    again, readOnce, again / readOnce, one);
    }

    // Four modelled drives: disc after disc, as fast as the drives allow.
    {
        const double cdSpeed = g_bytesPerSecond;
        g_bytesPerSecond = modelSpeed;
        g_openSeconds = modelOpen;
        std::vector<std::string> model;
        std::uint64_t bytes = 0;
        std::size_t files = 0;
        for (int d = 1; d <= 4; ++d) {
            model.push_back(work + "/m" + std::to_string(d));
            MakeBook(model.back(), "--id model-" + std::to_string(d) + " --extra-mb " + std::to_string(modelMb));
        }
        for (const auto& entry : fs::recursive_directory_iterator(model[0]))
            if (entry.is_regular_file()) {
                bytes += entry.file_size();
                ++files;
            }
        const double took = RunBatch(work, model);
        // What the model says one disc takes, against what the station took.
        const double modelled = static_cast<double>(bytes) / modelSpeed + static_cast<double>(files) * modelOpen;
        const double efficiency = modelled / took;
        const double full = (discMb * 1e6 / modelSpeed + discFiles * modelOpen) / efficiency;
        std::printf("four modelled drives (%.0f MB/s, %.0f ms a file open): four %.1f MB discs (%zu files) in %.2f s, "
                    "the model's %.2f s (%.0f%% of the drives' speed): %.0f discs per hour; "
                    "scaled to %d MB discs of %d files: %.0f s a disc, %.0f discs per hour\n",
                    modelSpeed / 1e6, modelOpen * 1e3, static_cast<double>(bytes) / 1e6, files, took, modelled,
                    100 * efficiency, 4 * 3600 / took, discMb, discFiles, full, 4 * 3600 / full);
        g_bytesPerSecond = cdSpeed;
        g_openSeconds = 0;
    }

    // A known disc of realistic size: an NCC of g_nccEntries headings and
    // pages (several MB) and g_files SMIL and audio files, copied once by
    // the station; then recognised again.
    const std::string known = work + "/bekend";
    MakeKnownDisc(known);
    station::StationSetup setup;
    setup.outputDir = work + "/uit/";
    station::CNameReservations names;
    std::atomic<bool> cancel{false};
    if (station::ArchiveDisc(known + "/", "bekend", setup, names, cancel, nullptr).at(0).outcome !=
        station::Outcome::Copied)
        return 1;
    constexpr int kRounds = 5;
    // Recognising it reads the disc whole, as archiving it would, and the
    // archived copy beside it; against hashing the disc's files alone.
    double hashOnly = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        std::vector<station::ListedFile> files;
        station::ListFiles(known + "/", files);
        std::vector<std::string> paths;
        for (const station::ListedFile& file : files)
            paths.push_back(file.path);
        std::map<std::string, station::FileHash> hashes;
        station::HashFiles(known + "/", paths, cancel, {}, hashes);
        hashOnly = std::min(hashOnly, Seconds(start));
    }
    double bookFile = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        CBookInfo info;
        ReadBookFile(known + "/ncc.html", info);
        bookFile = std::min(bookFile, Seconds(start));
    }
    double handled = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        if (station::ArchiveDisc(known + "/", "bekend", setup, names, cancel, nullptr).at(0).outcome !=
            station::Outcome::AlreadyThere)
            return 1;
        handled = std::min(handled, Seconds(start));
    }
    // The log row is flushed to the device: its share is told apart.
    double logRow = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        station::LogRow row;
        row.title = "Groot naslagwerk over de Nederlandse taal";
        const auto start = Clock::now();
        station::AppendRow(work + "/proef.csv", row);
        logRow = std::min(logRow, Seconds(start));
    }
    std::printf("recognising an archived disc (NCC %.1f MB, %d entries; %d files, in the page cache): %.2f ms, of "
                "which its log row written and flushed %.2f ms; reading its book file %.2f ms and hashing its files "
                "%.2f ms, ratio to those two %.2f (the archived copy is read whole beside the disc)\n",
                static_cast<double>(fs::file_size(known + "/ncc.html")) / 1e6, g_nccEntries, g_files + 1,
                handled * 1e3, logRow * 1e3, bookFile * 1e3, hashOnly * 1e3, (handled - logRow) / (bookFile + hashOnly));

    // 100 books, memory after the tenth and after the last.
    const std::string templ = work + "/klein";
    MakeBook(templ, "");
    std::ifstream in(templ + "/ncc.html");
    std::stringstream ncc;
    ncc << in.rdbuf();
    long afterTen = 0;
    for (int b = 0; b < books; ++b) {
        const std::string disc = work + "/reeks";
        fs::remove_all(disc);
        fs::copy(templ, disc, fs::copy_options::recursive);
        std::string text = ncc.str();
        const std::string id = "reeks-" + std::to_string(b);
        const std::size_t at = text.find("dc:identifier");
        const std::size_t content = text.find("content=\"", at) + 9;
        text.replace(content, text.find('"', content) - content, id);
        std::ofstream(disc + "/ncc.html") << text;
        station::ArchiveDisc(disc + "/", "reeks", setup, names, cancel, nullptr);
        if (b == 9)
            afterTen = RssKiB();
    }
    std::printf("memory over %d books: %ld KiB after 10, %ld KiB after %d\n", books, afterTen, RssKiB(), books);
    fs::remove_all(work);
    return 0;
}
