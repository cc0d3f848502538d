// Times what a disc costs before the copy starts: probing four mounted
// drives (one of each kind of book, three of them with 500 other files at
// the root, so the name search reads the whole folder), and reading a 1 MB
// package file. Goals: probing under 50 ms, the package file under 30 ms.
//
//   talvora-disc-bench [RUNS]     (default 21 runs; prints medians and maxima)
#include "disc/DiscLocator.h"
#include "book/PackageReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class CMountedDrives final : public disc::IDiscPlatform
{
public:
    std::vector<disc::OpticalDrive> drives;
    std::vector<disc::MountEntry> mounts;
    std::vector<disc::OpticalDrive> OpticalDrives() const override { return drives; }
    std::vector<disc::MountEntry> Mounts() const override { return mounts; }
};

void Write(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string MakePackage(std::size_t targetBytes)
{
    std::string opf = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                      "<package xmlns=\"http://openebook.org/namespaces/oeb-package/1.0/\" unique-identifier=\"uid\">\n"
                      "<metadata><dc-metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                      "<dc:Format>ANSI/NISO Z39.86-2005</dc:Format>\n"
                      "<dc:Identifier id=\"uid\">NL-TU-000042</dc:Identifier>\n"
                      "<dc:Title>Groot naslagwerk over de Nederlandse taal</dc:Title>\n"
                      "<dc:Creator>Taalunie, Redactie</dc:Creator>\n"
                      "</dc-metadata></metadata>\n<manifest>\n";
    char line[256];
    int i = 0;
    while (opf.size() < targetBytes) {
        ++i;
        std::snprintf(line, sizeof line,
                      "<item href=\"smil%06d.smil\" id=\"smil%06d\" media-type=\"application/smil\" />\n"
                      "<item href=\"aud%06d.mp3\" id=\"aud%06d\" media-type=\"audio/mpeg\" />\n",
                      i, i, i, i);
        opf += line;
    }
    return opf + "</manifest>\n<spine />\n</package>\n";
}

struct Figures
{
    double median, max;
};

Figures Time(int runs, const std::function<void()>& work)
{
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    std::string pattern = (fs::temp_directory_path() / "talvora-disc-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    const fs::path scratch = pattern;

    CMountedDrives platform;
    const char* const bookFiles[] = {"ncc.html", "NCC.HTML", "speechgen.opf", "discinfo.html"};
    for (unsigned d = 0; d < 4; ++d) {
        const fs::path root = scratch / ("sr" + std::to_string(d));
        Write(root / bookFiles[d], "<html/>");
        if (d > 0)
            for (int f = 0; f < 500; ++f)
                Write(root / ("aud" + std::to_string(f) + ".mp3"), "");
        platform.drives.push_back({"/dev/sr" + std::to_string(d), 11, d});
        platform.mounts.push_back({"/dev/sr" + std::to_string(d), root.string(), "iso9660", "/", 11, d});
    }
    std::string found;
    const Figures probe = Time(runs, [&] { found = FindDaisyDisc(platform).bookFile; });
    std::printf("probe 4 mounted drives: median %.3f ms, max %.3f ms (goal < 50 ms); found %s\n", probe.median,
                probe.max, found.c_str());

    // What the running system adds on top: udev's drive list, the mount
    // table and GIO's volume monitor, on whatever drives this machine has.
    const disc::CSystemDiscPlatform system;
    std::size_t roots = 0;
    const Figures platformCalls = Time(runs, [&] {
        roots = disc::CandidateRoots(system).size() + system.UnmountedDiscs().size();
    });
    std::printf("this system's drives, mounts and unmounted volumes (%zu found): median %.3f ms, max %.3f ms\n",
                roots, platformCalls.median, platformCalls.max);

    const fs::path package = scratch / "big.opf";
    Write(package, MakePackage(1u << 20));
    bool ok = true;
    const Figures read = Time(runs, [&] {
        CPackageReader reader;
        ok = reader.ReadPackage(package.string()) && ok;
    });
    std::printf("read %zu-byte package file: median %.3f ms, max %.3f ms (goal < 30 ms)%s\n",
                static_cast<std::size_t>(fs::file_size(package)), read.median, read.max, ok ? "" : "; READ FAILED");
    fs::remove_all(scratch);
    return ok ? 0 : 1;
}
