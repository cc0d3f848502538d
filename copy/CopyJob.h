// The copy job: settles the folder the book goes into (the composed one, or
// a free numbered variant) and copies the disc there, straight or through
// the temporary folder "_TalvoraTmp_", which it removes again.
#pragma once

#include <functional>
#include <string>

class CSettings;

namespace copyjob {

enum class PathState { Missing, OwnFolder, Other };

// What the job needs of the file system and the user; the copy window
// supplies the real one (CFileOperations), tests a fake.
class IFileOperations
{
public:
    virtual ~IFileOperations() = default;

    // Missing when nothing of that name exists; OwnFolder for a real folder
    // (not a link) owned by this user; Other for anything else.
    virtual PathState Inspect(const std::string& path) = 0;

    // Copies everything inside sourceFolder (ending in '/') into destFolder,
    // which is created with any missing parents, showing progress under
    // title. askBeforeReplace: ask before an existing file is replaced;
    // otherwise replace silently. True only when everything arrived.
    virtual bool Copy(const std::string& sourceFolder, const std::string& destFolder, const std::string& title,
                      bool askBeforeReplace) = 0;

    // Removes folder and everything in it, silently, never following links.
    virtual bool Delete(const std::string& folder) = 0;

    // Tells the user why a copy was refused before anything was touched.
    virtual void Refuse(const std::string& message) = 0;
};

// Called with the folder actually used, before the copy starts, when
// numbering is on.
using DestinationLine = std::function<void(const std::string& target)>;

// Longest path and name the platform accepts.
bool PathFits(const std::string& path);

} // namespace copyjob

// Copies the disc at discRoot (ending in '/') into destPath or a numbered
// variant of it. True when the book was copied.
bool CopyBook(const std::string& discRoot, const std::string& destPath, const CSettings& settings,
              copyjob::IFileOperations& ops, const copyjob::DestinationLine& showDestination);

// One copy of everything inside sourceFolder into destFolder, titled with
// the destination, asking before replacing when ConfirmOverwrite is on.
bool CopyFolder(std::string sourceFolder, std::string destFolder, const CSettings& settings,
                copyjob::IFileOperations& ops);

bool DeleteFolder(std::string folder, copyjob::IFileOperations& ops);
