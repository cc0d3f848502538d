// How long an audio file plays, in two ways.
//
// From its head: what the file itself declares exactly, told from its
// first few kilobytes and its size (a disc reads at about 7 MB/s, so the
// check before the copy never reads an audio file through): an Xing, Info
// or VBRI header whose byte count agrees with the file's size, a WAV
// header whose sound agrees with it. Anything else (MPEG audio without
// such a header, a joined file whose header is stale) cannot be told
// from the head, and is not guessed.
//
// From every byte: the audio walk (AudioWalk.h), exact, with every
// stretch that plays nothing.
#pragma once

#include "check/AudioWalk.h"
#include "check/BookFiles.h"

#include <cstddef>
#include <string>

namespace check {

// The first read of an audio file; a large ID3 tag before the first frame
// costs one more read, never the tag itself.
inline constexpr std::size_t kAudioHeadBytes = 4096;

struct AudioLength
{
    bool known = false;   // the file declares its length exactly
    double seconds = 0;
    int error = 0;        // reading failed: errno
};

// The length the file at path (size bytes) declares of itself.
AudioLength DeclaredAudioLength(IBookFileAccess& files, const std::string& path, std::uint64_t size);

// Walks every byte of the file at path, in reads of kAudioWalkRead.
// 0 or the errno of a failed read.
inline constexpr std::size_t kAudioWalkRead = std::size_t(1) << 20;
int WalkAudioFile(IBookFileAccess& files, const std::string& path, AudioWalk& walk);

} // namespace check
