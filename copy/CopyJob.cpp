#include "copy/CopyJob.h"

#include "settings/Settings.h"

#include <climits>
#include <cstdio>

namespace {

const char* const kTempName = "_TalvoraTmp_";
const char* const kProgressTitle = "Bestanden worden gekopiëerd naar %s";
constexpr int kLastNumber = 999; // tried, never used: 998 numbered names

std::string Format(const char* format, const std::string& text)
{
    const int n = std::snprintf(nullptr, 0, format, text.c_str());
    std::string out(static_cast<std::size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, format, text.c_str());
    return out;
}

std::string Numbered(const std::string& path, int n)
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%03d", n);
    return path + suffix;
}

} // namespace

namespace copyjob {

bool PathFits(const std::string& path)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return false;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end - start > NAME_MAX)
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace copyjob

using copyjob::PathState;

bool CopyFolder(std::string sourceFolder, std::string destFolder, const CSettings& settings,
                copyjob::IFileOperations& ops)
{
    const std::string title = Format(kProgressTitle, destFolder);
    return ops.Copy(sourceFolder, destFolder, title, settings.ConfirmOverwrite != 0);
}

bool DeleteFolder(std::string folder, copyjob::IFileOperations& ops)
{
    return ops.Delete(folder);
}

bool CopyBook(const std::string& discRoot, const std::string& destPath, const CSettings& settings,
              copyjob::IFileOperations& ops, const copyjob::DestinationLine& showDestination)
{
    auto refuseLong = [&](const std::string& path) {
        ops.Refuse("Het pad is te lang om te kunnen kopiëren:\n" + path);
        return false;
    };
    if (!copyjob::PathFits(discRoot))
        return refuseLong(discRoot);
    if (!copyjob::PathFits(destPath))
        return refuseLong(destPath);

    std::string target = destPath;
    if (settings.ConfirmOverwrite == 0) {
        if (ops.Inspect(target) != PathState::Missing) {
            int n = 0;
            do {
                if (n >= kLastNumber)
                    break;
                ++n;
                target = Numbered(destPath, n);
            } while (ops.Inspect(target) != PathState::Missing);
            // Closing the window without a word would look like success to
            // someone who cannot see that no folder appeared.
            if (n >= kLastNumber) {
                ops.Refuse("Er is niets gekopieerd: de map\n" + destPath +
                           "\nen alle genummerde mappen tot en met _998 bestaan al.");
                return false;
            }
        }
        if (!copyjob::PathFits(target))
            return refuseLong(target);
        if (showDestination)
            showDestination(target);
    }

    if (settings.CopyViaTemp == 0)
        return CopyFolder(discRoot, target, settings, ops);

    std::string tempPath = settings.TempPath;
    // A relative temporary folder would land wherever the program happens
    // to run.
    if (tempPath.empty() || tempPath.front() != '/') {
        ops.Refuse("De tijdelijke map is niet ingesteld; er is niets gekopieerd.");
        return false;
    }
    if (tempPath.back() != '/')
        tempPath += '/';
    const std::string tempFolder = tempPath + kTempName;
    if (!copyjob::PathFits(tempFolder + "/"))
        return refuseLong(tempFolder);
    // A link or somebody else's file under this name is neither used nor
    // deleted: deleting it afterwards would destroy what it is or points to.
    if (ops.Inspect(tempFolder) == PathState::Other) {
        ops.Refuse("Er is niets gekopieerd: \"" + tempFolder +
                   "\" is geen gewone map van u (bijvoorbeeld een bestand of een koppeling). "
                   "Verwijder of hernoem het en probeer het opnieuw.");
        return false;
    }

    bool result = false;
    if (CopyFolder(discRoot, tempFolder, settings, ops))
        result = CopyFolder(tempFolder + "/", target, settings, ops);
    DeleteFolder(tempFolder, ops);
    return result;
}
