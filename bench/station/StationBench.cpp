// The archive station's figures: four drives slowed to a CD's speed
// against one alone, recognising a disc already archived against reading
// its book file, and memory over a batch of 100 books.
//
//   talvora-station-bench [--mb 50] [--speed 3.6] [--books 100] [--dir /var/tmp]
#include "book/DiscBooks.h"
#include "copy/CopyEngine.h"
#include "station/Station.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double g_bytesPerSecond = 3.6e6; // a 24x CD drive

// Reads no faster than a CD drive: every byte goes through ReadChunk.
class CCdSpeed final : public copyops::CCopyEngine
{
protected:
    int CopyRange(int, int, std::size_t, std::size_t& moved) override
    {
        moved = 0;
        return EXDEV;
    }
    int ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got) override
    {
        if (m_bytes == 0)
            m_start = Clock::now();
        const int error = CCopyEngine::ReadChunk(in, buffer, max, got);
        m_bytes += got;
        std::this_thread::sleep_until(m_start + std::chrono::duration_cast<Clock::duration>(
                                                    std::chrono::duration<double>(m_bytes / g_bytesPerSecond)));
        return error;
    }

private:
    Clock::time_point m_start;
    double m_bytes = 0;
};

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

double RunBatch(const std::string& work, const std::vector<std::string>& discs)
{
    fs::remove_all(work + "/uit");
    fs::create_directories(work + "/uit");
    station::StationSetup setup;
    setup.outputDir = work + "/uit/";
    setup.makeEngine = [] { return std::make_unique<CCdSpeed>(); };
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
    int mb = 50, books = 100;
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
    std::printf("four drives at %.1f MB/s, %d MB books: one book %.2f s, four at once %.2f s, ratio %.2f (goal <= 1.3)\n",
                g_bytesPerSecond / 1e6, mb, one, four, four / one);

    // The output folder now holds all four: the first disc again is known.
    station::StationSetup setup;
    setup.outputDir = work + "/uit/";
    station::CNameReservations names;
    std::atomic<bool> cancel{false};
    constexpr int kRounds = 50;
    auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        CBookInfo info;
        ReadBookFile(discs[0] + "/ncc.html", info);
    }
    const double read = Seconds(start) / kRounds;
    std::string dest;
    for (const auto& entry : fs::directory_iterator(setup.outputDir))
        if (entry.path().filename().string().rfind("bench-1 ", 0) == 0)
            dest = entry.path().string();
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        CBookInfo info;
        std::vector<station::ListedFile> files;
        ReadBookFile(discs[0] + "/ncc.html", info);
        station::ListFiles(discs[0] + "/", files);
        if (station::ArchivedCopy(dest, files).empty())
            return 1;
    }
    const double known = Seconds(start) / kRounds;
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i)
        if (station::ArchiveDisc(discs[0] + "/", "cd1", setup, names, cancel, nullptr).at(0).outcome !=
            station::Outcome::AlreadyThere)
            return 1;
    const double handled = Seconds(start) / kRounds;
    std::printf("recognising an archived disc %.3f ms, reading its book file %.3f ms, ratio %.2f (goal <= 1.5); "
                "with its log row written and flushed %.3f ms\n",
                known * 1e3, read * 1e3, known / read, handled * 1e3);

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
