// How a failed system call travels up: its errno value, the side it
// happened on, and the path it concerned. Every layer returns one of these
// (or 0 / a bare errno where the side cannot vary); the copy layer's texts
// (copy/CopyTexts.h) alone turn it into Dutch words for the user.
#pragma once

#include <cerrno>
#include <string>
#include <utility>

namespace posix {

// Where a failure happened, which decides whom the user is told to check.
enum class Side
{
    Disc,    // reading the CD (or the folder that stands for it)
    Output,  // writing to the drive the book goes to
    Temp     // the temporary folder on the hard disk
};

// A name that the destination's file system takes for one already written
// by this copy (it ignores letter case); path is that earlier name.
inline constexpr int kNameClash = ENOTUNIQ;

struct Failure
{
    int error = 0;             // 0: no failure
    Side side = Side::Disc;
    std::string path;          // the file or folder concerned; may be empty

    explicit operator bool() const { return error != 0; }
};

inline Failure OnDisc(int error, std::string path = {})
{
    return {error, Side::Disc, std::move(path)};
}

inline Failure OnOutput(int error, std::string path = {})
{
    return {error, Side::Output, std::move(path)};
}

inline Failure OnTemp(int error, std::string path = {})
{
    return {error, Side::Temp, std::move(path)};
}

} // namespace posix
