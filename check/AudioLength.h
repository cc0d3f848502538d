// How long an audio file plays, told from its first few kilobytes and its
// size: a disc reads at about 7 MB/s, so the check never reads an audio file
// through. MPEG audio (MP3, MP2) through libmpg123, everything else (WAV)
// through libsndfile.
#pragma once

#include "check/BookFiles.h"

#include <cstddef>
#include <string>

namespace bookcheck {

// The first read of an audio file, and what one file may cost at most (a
// large ID3 tag before the first frame is skipped, not read).
inline constexpr std::size_t kAudioHeadBytes = 4096;
inline constexpr std::size_t kAudioReadLimit = 64 * 1024;

struct AudioLength
{
    bool known = false;
    double seconds = 0;
};

// The length of the audio file at path (size bytes). A file cut short
// measures shorter than it was made: for MPEG audio with an Xing, Info or
// VBRI header, the frames it announces in proportion to the bytes that are
// there; without one, libmpg123's estimate from the size and the first
// frames. Unknown when neither library recognises the file.
AudioLength MeasureAudio(IBookFileAccess& files, const std::string& path, std::uint64_t size);

} // namespace bookcheck
