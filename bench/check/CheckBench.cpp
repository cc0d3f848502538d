// talvora-check-bench [--dir FOLDER] [--rounds N] [--cold]
//
// Makes a DAISY 2.02 book of 5,000 SMIL files and 48,000 references (NCC
// links, and text and audio clips in the SMIL files; one CBR MP3 file per
// SMIL), then times the book check against reading every file of the book
// once (`find -exec cat` into /dev/null). Prints both, the bytes each
// reads, and the ratio; the goal is at most 1.5. With --cold every file of
// the book is dropped from the page cache before each run of either.
#include "check/BookCheck.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kSmilFiles = 5000;
constexpr double kClipSeconds = 5.0;

std::string Mp3(double seconds)
{
    // MPEG-1 layer III, mono, 44.1 kHz, 32 kbit/s: 104 bytes, 1152 samples.
    std::string frame(104, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x10';
    frame[3] = '\xC4';
    std::string file;
    const int frames = static_cast<int>(seconds * 44100 / 1152) + 1;
    for (int i = 0; i < frames; ++i)
        file += frame;
    return file;
}

// Returns the number of references.
int MakeBook(const fs::path& dir)
{
    fs::create_directories(dir);
    int references = 0;
    std::string ncc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html><head><title>Bank</title>"
                      "<meta name=\"ncc:multimediaType\" content=\"audioNcc\"/></head><body>\n";
    for (int i = 1; i <= kSmilFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%05d", i);
        // 3,500 SMIL files of four clips and 1,500 of five: with the NCC's
        // 5,000 links, 48,000 references.
        const int clips = i <= 3500 ? 4 : 5;
        ncc += "<h1 id=\"h" + std::string(name) + "\"><a href=\"s" + name + ".smil#t1\">Hoofdstuk " + std::to_string(i) +
               "</a></h1>\n";
        ++references;
        std::string smil = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<smil><head><meta name=\"dc:format\" "
                           "content=\"Daisy 2.02\"/></head><body><seq>\n";
        for (int c = 0; c < clips; ++c) {
            char clip[256];
            std::snprintf(clip, sizeof clip,
                          "<par endsync=\"last\"><text src=\"ncc.html#h%s\" id=\"t%d\"/><audio src=\"a%s.mp3\" "
                          "clip-begin=\"npt=%.3fs\" clip-end=\"npt=%.3fs\" id=\"a%d\"/></par>\n",
                          name, c + 1, name, c * kClipSeconds, (c + 1) * kClipSeconds, c + 1);
            smil += clip;
            references += 2;
        }
        smil += "</seq></body></smil>\n";
        std::ofstream(dir / ("s" + std::string(name) + ".smil"), std::ios::binary) << smil;
        std::ofstream(dir / ("a" + std::string(name) + ".mp3"), std::ios::binary) << Mp3(clips * kClipSeconds);
    }
    ncc += "</body></html>\n";
    std::ofstream(dir / "ncc.html", std::ios::binary) << ncc;
    return references;
}

void DropFromCache(const fs::path& dir)
{
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F> double Seconds(F f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    fs::path base = fs::temp_directory_path();
    int rounds = 5;
    bool cold = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc)
            base = argv[++i];
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--cold")
            cold = true;
        else {
            std::fprintf(stderr, "Gebruik: talvora-check-bench [--dir MAP] [--rounds N] [--cold]\n");
            return 2;
        }
    }
    const fs::path dir = base / ("talvora-check-bench-" + std::to_string(::getpid()));
    const int references = MakeBook(dir);
    std::uint64_t bookBytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        bookBytes += entry.file_size();

    const std::string cat = "find '" + dir.string() + "' -type f -exec cat {} + >/dev/null";
    std::vector<double> catTimes, checkTimes;
    std::uint64_t checkBytes = 0;
    std::size_t findings = 0;
    if (std::system(cat.c_str()) != 0)  // warms the cache for the first warm round
        return 1;
    for (int r = 0; r < rounds; ++r) {
        if (cold)
            DropFromCache(dir);
        catTimes.push_back(Seconds([&] { (void)!std::system(cat.c_str()); }));
        if (cold)
            DropFromCache(dir);
        check::CPosixBookFiles files(dir.string());
        checkTimes.push_back(Seconds([&] { findings = check::CheckBook(files, "ncc.html").findings.size(); }));
        checkBytes = files.BytesRead();
    }
    fs::remove_all(dir);

    const double catTime = Median(catTimes);
    const double checkTime = Median(checkTimes);
    std::printf("book: %d SMIL files, %d references, %.1f MB in %d files (%s page cache)\n", kSmilFiles, references,
                bookBytes / 1e6, 2 * kSmilFiles + 1, cold ? "cold" : "warm");
    std::printf("cat every file:  %.3f s, %.1f MB read\n", catTime, bookBytes / 1e6);
    std::printf("book check:      %.3f s, %.1f MB read, %zu findings\n", checkTime, checkBytes / 1e6, findings);
    std::printf("ratio check/cat: %.2f (goal: at most 1.5), median of %d rounds\n", checkTime / catTime, rounds);
    return findings == 0 ? 0 : 1;
}
