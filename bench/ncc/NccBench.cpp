// Times the NCC reader on a generated 5 MB NCC of 20,000 headings and
// 20,000 page entries, against a bare TinyXML LoadFile of the same file.
//
//   talvora-ncc-bench [RUNS]     (default 21 runs; prints medians)
#include "book/NccReader.h"

#include <tinyxml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <malloc.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kHeadings = 20000;
constexpr int kPages = 20000;
constexpr std::size_t kTargetBytes = 5u * 1000 * 1000;

std::string MakeNcc(std::size_t headingPadding)
{
    std::string ncc =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n"
        "<meta http-equiv=\"Content-type\" content=\"text/html; charset=utf-8\" />\n"
        "<title>Groot naslagwerk over de Nederlandse taal</title>\n"
        "<meta name=\"dc:title\" content=\"Groot naslagwerk over de Nederlandse taal\" />\n"
        "<meta name=\"dc:creator\" content=\"Taalunie, Redactie\" />\n"
        "<meta name=\"dc:identifier\" content=\"NL-TU-000042\" />\n"
        "<meta name=\"ncc:setInfo\" content=\"1 of 1\" />\n"
        "<meta name=\"ncc:tocItems\" content=\"40000\" />\n"
        "</head>\n<body>\n";
    const std::string padding(headingPadding, 'x');
    char line[512];
    for (int i = 1; i <= kHeadings; ++i) {
        std::snprintf(line, sizeof line,
                      "<h%d class=\"section\" id=\"h%05d\"><a href=\"s%05d.smil#t%05d\">Hoofdstuk %d: "
                      "caf\xC3\xA9 &amp; cr\xC3\xA8me %s</a></h%d>\n",
                      1 + i % 3, i, i, i, i, padding.c_str(), 1 + i % 3);
        ncc += line;
        std::snprintf(line, sizeof line,
                      "<span class=\"page-normal\" id=\"p%05d\"><a href=\"s%05d.smil#p%05d\">%d</a></span>\n", i,
                      i, i, i);
        if (i <= kPages)
            ncc += line;
    }
    ncc += "</body>\n</html>\n";
    return ncc;
}

// Wall-clock and CPU time of one call. On a busy machine the CPU time is
// the steadier figure; on an idle one the two agree.
struct Timing
{
    double wallMs;
    double cpuMs;
};

double CpuNowMs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

Timing TimeOnce(const std::function<void()>& work)
{
    // Each call starts from a trimmed heap, so that neither inherits the
    // freed memory (and page faults) of the one before.
    ::malloc_trim(0);
    const double cpuStart = CpuNowMs();
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto stop = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(stop - start).count(), CpuNowMs() - cpuStart};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Medians
{
    double wallMs;
    double cpuMs;
};

Medians MediansOf(const std::vector<Timing>& timings)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (const Timing& t : timings) {
        wall.push_back(t.wallMs);
        cpu.push_back(t.cpuMs);
    }
    return {Median(wall), Median(cpu)};
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;

    // Pad the heading texts until the file is about 5 MB.
    const std::size_t unpadded = MakeNcc(0).size();
    const std::size_t padding = kTargetBytes > unpadded ? (kTargetBytes - unpadded) / kHeadings : 0;
    const std::string ncc = MakeNcc(padding);

    char path[] = "/tmp/talvora-ncc-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        std::perror("mkstemp");
        return 1;
    }
    ::close(fd);
    std::ofstream(path, std::ios::binary) << ncc;

    bool ok = true;
    const auto readNcc = [&] {
        CNccReader r;
        ok = ok && r.ReadNcc(path) && r.MetaList().size() == 5;
    };
    const auto loadFile = [&] {
        TiXmlBase::SetCondenseWhiteSpace(false);
        TiXmlDocument document;
        ok = ok && document.LoadFile(path, TIXML_ENCODING_UNKNOWN);
    };
    const std::string text = PrepareXmlText(ncc);
    const auto scan = [&] { ok = ok && ScanXmlShape(text.c_str()).withinLimits; };

    // Alternating runs, so that a change in machine load hits both alike.
    readNcc();
    loadFile();
    std::vector<Timing> readerRuns, bareRuns, scanRuns;
    for (int i = 0; i < runs; ++i) {
        readerRuns.push_back(TimeOnce(readNcc));
        bareRuns.push_back(TimeOnce(loadFile));
        scanRuns.push_back(TimeOnce(scan));
    }
    const Medians reader = MediansOf(readerRuns);
    const Medians bare = MediansOf(bareRuns);
    const Medians scanned = MediansOf(scanRuns);
    const XmlShape shape = ScanXmlShape(text.c_str());
    ::unlink(path);
    if (!ok) {
        std::fprintf(stderr, "the generated NCC was not read as expected\n");
        return 1;
    }

    std::printf("NCC: %.2f MB, %d headings, %d page entries, depth %zu, %zu nodes, work %llu, %d runs\n",
                static_cast<double>(ncc.size()) / 1e6, kHeadings, kPages, shape.maxDepth, shape.nodes,
                static_cast<unsigned long long>(shape.work), runs);
    std::printf("                               median wall ms   median CPU ms\n");
    std::printf("reader (ReadNcc, whole file)   %14.2f  %14.2f\n", reader.wallMs, reader.cpuMs);
    std::printf("bare TinyXML LoadFile          %14.2f  %14.2f\n", bare.wallMs, bare.cpuMs);
    std::printf("  of which the shape scan      %14.2f  %14.2f\n", scanned.wallMs, scanned.cpuMs);
    std::printf("ratio reader / bare parse      %14.3f  %14.3f   (goal: at most 1.2)\n", reader.wallMs / bare.wallMs,
                reader.cpuMs / bare.cpuMs);
    std::printf("reader under 150 ms            %14s  %14s\n", reader.wallMs < 150.0 ? "yes" : "NO",
                reader.cpuMs < 150.0 ? "yes" : "NO");
    return 0;
}
