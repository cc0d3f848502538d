// Walks any bytes as an audio file, as the copy does with every audio file
// of a disc, once whole and once a byte at a time: the verdict must not
// depend on how the bytes arrive, and must stay within what the bytes can
// hold.
#include "check/AudioWalk.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Broken(const char* promise)
{
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    check::CAudioWalker whole;
    whole.Feed(bytes, size);
    const check::AudioWalk a = whole.Finish();
    check::CAudioWalker trickle;
    for (std::size_t i = 0; i < size; ++i)
        trickle.Feed(bytes + i, 1);
    const check::AudioWalk b = trickle.Finish();
    if (a.frames != b.frames || a.gapCount != b.gapCount || a.seconds != b.seconds || a.format != b.format)
        Broken("the chunks change the verdict");
    if (a.bytes != size || a.gaps.size() > check::kMaxGaps || a.gaps.size() > a.gapCount)
        Broken("counts");
    // The frames that play longest for their bytes (8 kbit/s, whose length
    // is rounded down: MPEG-2 at 22.05 kHz plays 26.1 ms in 26 bytes) play
    // about 1 ms a byte.
    if (a.format == check::AudioFormat::Mpeg && a.seconds > static_cast<double>(size) * 0.00105)
        Broken("more sound than the bytes can hold");
    for (const check::AudioGap& gap : a.gaps)
        if (gap.offset + gap.bytes > size && a.format != check::AudioFormat::Wav)
            Broken("a stretch past the end");
    return 0;
}
