// Reads any bytes as a discinfo.html, and as a single link. Every book it
// lists must name a folder strictly inside the disc: relative, without
// empty, "." or ".." parts, with no drive, scheme or Windows separator.
#include "book/DiscInfoReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

void CheckInsideDisc(const std::string& folder, const std::string& file)
{
    Require(!folder.empty() && folder.back() == '/' && folder.front() != '/', "folder is not relative");
    Require(folder.find_first_of(":\\?") == std::string::npos, "folder has a drive, scheme or separator");
    Require(!file.empty() && file.find('/') == std::string::npos, "file is not one name");
    std::size_t start = 0;
    while (start < folder.size()) {
        const std::size_t slash = folder.find('/', start);
        const std::string part = folder.substr(start, slash - start);
        Require(!part.empty() && part != "." && part != "..", "folder leaves the disc");
        Require(part.find('\0') == std::string::npos, "NUL in a folder name");
        start = slash + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string folder, file;
    if (ParseBookLink(bytes, folder, file))
        CheckInsideDisc(folder, file);

    CDiscInfoReader reader;
    if (!reader.ReadDiscInfoBytes(bytes))
        return 0;
    for (const CListedBook& book : reader.Books())
        CheckInsideDisc(book.folder, book.file);
    return 0;
}
