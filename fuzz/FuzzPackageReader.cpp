// Reads any bytes as a DAISY 3 package file and names a folder from what it
// gives; the name must stay one folder directly below the output folder.
#include "book/PackageReader.h"
#include "naming/FolderName.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CPackageReader reader;
    if (!reader.ReadPackageBytes(std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    for (int switches = 1; switches < 8; ++switches) {
        const std::string outputDir = "/home/lezer/Boeken/";
        const std::string path =
            FitFolderName(ComposeFolderNameParts(switches & 1, switches & 2, switches & 4, reader.MetaList()), outputDir)
                .path;
        if (path.empty())
            continue;
        const std::string rest = path.substr(outputDir.size());
        if (path.compare(0, outputDir.size(), outputDir) != 0 || rest.empty() || rest == "." || rest == ".." ||
            rest.find('/') != std::string::npos) {
            std::fprintf(stderr, "broken promise: name leaves the output folder\n");
            std::abort();
        }
    }
    return 0;
}
