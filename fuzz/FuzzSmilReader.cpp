// Reads any bytes as a SMIL file, as the book check does with every SMIL of
// a disc; a clip end it accepts is a time a disc can hold.
#include "check/SmilReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<check::SmilReference> refs;
    if (check::ReadSmilBytes(std::string_view(reinterpret_cast<const char*>(data), size), refs) != XmlFailure::None)
        return 0;
    for (const check::SmilReference& ref : refs) {
        if (ref.clipEnd != -1 && !(ref.clipEnd >= 0 && ref.clipEnd <= 100.0 * 365 * 24 * 3600)) {
            std::fprintf(stderr, "broken promise: clip end out of range\n");
            std::abort();
        }
    }
    return 0;
}
