// talvora-audio-walk-bench [--mb N] [--dir FOLDER]
//
// The audio walk against the disc it must keep up with. Makes a set of
// MP3 files (N MB in all, 256 by default: CBR at 64 kbit/s, VBR with an
// Xing header, VBR without one, MPEG-2 at 8 kbit/s, some with an ID3 tag,
// some with a stretch of zeros) and walks it from memory in the copy
// engine's reads of 128 KB, printing MB/s and the ratio to a CD read at
// 7 MB/s (the goal: at least 20). Then copies the set with the engine
// twice, once named .mp3 (read by the engine itself and walked) and once
// named .bin (copy_file_range, no walk), and prints both speeds: the walk
// must not make the copy slow.
#include "check/AudioWalk.h"
#include "copy/CopyEngine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kCdBytesPerSecond = 7e6;

std::string Frame(unsigned char b1, unsigned char b2, int bytes)
{
    std::string frame(static_cast<std::size_t>(bytes), '\x55');
    frame[0] = '\xFF';
    frame[1] = static_cast<char>(b1);
    frame[2] = static_cast<char>(b2);
    frame[3] = '\xC4';
    return frame;
}

// One file of about size bytes, of the variety i picks.
std::string MakeFile(int i, std::size_t size)
{
    const std::string cbr = Frame(0xFB, 0x50, 208);     // MPEG-1 layer III 64 kbit/s
    const std::string fast = Frame(0xFB, 0x90, 417);    // 128 kbit/s
    const std::string low = Frame(0xF3, 0x10, 26);      // MPEG-2 8 kbit/s
    std::string file;
    if (i % 5 == 3)
        file = std::string("ID3\x03\0\0\0\0\x10\0", 10) + std::string(2048, 'x');
    for (std::size_t n = 0; file.size() < size; ++n) {
        switch (i % 4) {
        case 0: file += cbr; break;
        case 1:
        case 2: file += n % 3 == 0 ? fast : cbr; break;
        default: file += low; break;
        }
    }
    if (i % 7 == 6)
        std::memset(file.data() + file.size() / 2, 0, file.size() / 10);
    return file;
}

class CSilentReporter : public copy::ICopyReporter
{
public:
    void Progress(std::uint64_t, std::uint64_t) override {}
    copy::ReplaceAnswer AskReplace(const std::string&) override { return copy::ReplaceAnswer::Yes; }
    copy::ErrorAnswer AskError(const std::string&, const std::string&) override { return copy::ErrorAnswer::Cancel; }
    bool Cancelled() const override { return false; }
};

template <class F> double Seconds(F f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t megabytes = 256;
    fs::path dir = fs::temp_directory_path() / "talvora-audio-walk-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mb") == 0)
            megabytes = std::strtoul(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--dir") == 0)
            dir = argv[i + 1];
    }
    const std::size_t fileBytes = 4u << 20;
    std::vector<std::string> files;
    std::uint64_t total = 0;
    for (int i = 0; total < megabytes * (1u << 20); ++i) {
        files.push_back(MakeFile(i, fileBytes));
        total += files.back().size();
    }

    constexpr std::size_t kRead = copy::CCopyEngine::kBufferBytes;
    double played = 0;
    std::uint64_t gaps = 0;
    const double walkSeconds = Seconds([&] {
        for (const std::string& file : files) {
            check::CAudioWalker walker;
            for (std::size_t at = 0; at < file.size(); at += kRead)
                walker.Feed(file.data() + at, std::min(kRead, file.size() - at));
            const check::AudioWalk walk = walker.Finish();
            played += walk.seconds;
            gaps += walk.gapCount;
        }
    });
    const double walkRate = static_cast<double>(total) / walkSeconds;
    std::printf("Walk: %zu files, %.1f MB, %.0f h of audio, %llu stretches without frames\n", files.size(), total / 1e6,
                played / 3600, static_cast<unsigned long long>(gaps));
    std::printf("Walk: %.3f s, %.0f MB/s, %.1f x a CD at 7 MB/s (goal: at least 20)\n", walkSeconds, walkRate / 1e6,
                walkRate / kCdBytesPerSecond);

    // The engine, walking and not.
    fs::remove_all(dir);
    for (const char* ext : {"mp3", "bin"}) {
        fs::create_directories(dir / ext / "cd");
        for (std::size_t i = 0; i < files.size(); ++i)
            std::ofstream(dir / ext / "cd" / ("f" + std::to_string(i) + "." + ext), std::ios::binary) << files[i];
    }
    for (const char* ext : {"mp3", "bin"}) {
        copy::CCopyEngine engine;
        CSilentReporter reporter;
        bool ok = false;
        const double seconds = Seconds([&] {
            ok = static_cast<bool>(
                engine.CopyContent((dir / ext / "cd").string() + "/", (dir / ext / "usb").string(), false, reporter));
        });
        std::printf("Copy of the set as .%s (%s): %.3f s, %.0f MB/s, %zu files walked%s\n", ext,
                    std::string(ext) == "mp3" ? "read and walked" : "copy_file_range", seconds,
                    total / seconds / 1e6, engine.Walked().size(), ok ? "" : " (FAILED)");
    }
    fs::remove_all(dir);
    return 0;
}
