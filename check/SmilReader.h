// What a SMIL file refers to: its audio clips (with where each ends), its
// text and its images. Read through the same hostile-safe XML step as
// every other file of a disc.
#pragma once

#include "book/SafeXml.h"

#include <string>
#include <string_view>
#include <vector>

namespace check {

struct SmilReference
{
    enum class Type
    {
        Audio,
        Text,
        Other   // img, ref, video: anything else with a src
    };
    Type type = Type::Other;
    std::string src;          // as written
    double clipEnd = -1;      // seconds; -1 when the clip gives no (readable) end
};

// Reads the bytes of a SMIL file (DAISY 2.02: clip-end, DAISY 3: clipEnd).
// XmlFailure::None on success; then refs holds every reference in document
// order.
XmlFailure ReadSmilBytes(std::string_view fileBytes, std::vector<SmilReference>& refs);

// A SMIL clock value: "npt=12.5s", "1:02:03.5", "02:03", "3.2min", "500ms",
// "12". False for anything else, negative or absurd.
bool ParseClockValue(std::string_view text, double& seconds);

} // namespace check
