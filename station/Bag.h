// A book as a BagIt bag (RFC 8493): the disc's files under data/, and the
// tag files that let any validator, years later, tell the bag is whole.
#pragma once

#include "station/HashingEngine.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace station {

// The tag file of an incomplete bag that lists what the disc did not give.
inline constexpr const char* kMissingTagFile = "talvora-ontbreekt.txt";

struct BagInfo
{
    std::string identifier;  // External-Identifier
    std::string title;       // Title
    std::string date;        // Bagging-Date, YYYY-MM-DD
    // Further lines of bag-info.txt (label, UTF-8 value): a defect of the
    // disc, a link left out.
    std::vector<std::pair<std::string, std::string>> notes;
    // Files of the disc that are not in the bag; written, one a line, to
    // the tag file talvora-ontbreekt.txt when there are any.
    std::vector<std::string> missing;
};

// Writes bagit.txt, bag-info.txt, manifest-sha256.txt and
// tagmanifest-sha256.txt into bag, whose data/ holds the payload. The
// manifest lists the files found in data/ with their hashes from hashes
// (keyed relative to data/); a file there without a hash, or with another
// size, is an error (EIO): it was not read whole from the disc; a name
// that is not UTF-8 is EILSEQ. bag-info.txt takes info's notes, and
// talvora-ontbreekt.txt its missing files. The tag files are flushed to
// the device. 0 or an errno value.
int WriteBagTags(const std::string& bag, const std::map<std::string, FileHash>& hashes, const BagInfo& info);

// A path as a manifest line writes it: CR, LF and '%' percent-encoded.
std::string ManifestPath(const std::string& path);

// The lines "<sha256>  <prefix><path>" of the regular files below folder
// that hashes holds at their size, in byte order of paths; LF line ends,
// as sha256sum -c reads them.
std::string ManifestOf(const std::string& folder, const std::map<std::string, FileHash>& hashes,
                       const std::string& prefix);

// A manifest's entries, prefix taken off and the path decoded: path to
// SHA-256. False when it cannot be read or a line is no manifest line.
bool ReadManifest(const std::string& file, const std::string& prefix, std::map<std::string, std::string>& hashes);

// Where a plain copy's manifest lies: beside its folder, "<folder>.sha256",
// so that the book itself holds only the disc's files; in the folder,
// "sha256sum -c ../<folder>.sha256" checks it.
std::string PlainManifestPath(const std::string& folder);

// Writes text into file whole or not at all (a new file renamed over the
// old one), flushed to the device. 0 or an errno value.
int ReplaceFile(const std::string& file, const std::string& text);

} // namespace station
