#include "copy/FileOperations.h"

#include <sys/stat.h>
#include <unistd.h>

namespace copyjob {

CFileOperations::CFileOperations(ICopyUi& ui, copyops::CCopyEngine* engine)
    : m_ui(ui), m_engine(engine != nullptr ? *engine : m_ownEngine)
{
}

PathState CFileOperations::Inspect(const std::string& path)
{
    struct stat st;
    // Like an existence test on the original platform: whatever cannot be
    // looked at counts as not there.
    if (::lstat(path.c_str(), &st) != 0)
        return PathState::Missing;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() ? PathState::OwnFolder : PathState::Other;
}

bool CFileOperations::Copy(const std::string& sourceFolder, const std::string& destFolder, const std::string& title,
                           bool askBeforeReplace)
{
    return m_ui.RunCopy(title, [&](copyops::ICopyReporter& reporter) {
        return m_engine.CopyContent(sourceFolder, destFolder, askBeforeReplace, reporter);
    });
}

bool CFileOperations::Delete(const std::string& folder)
{
    return copyops::DeleteTree(folder);
}

void CFileOperations::Refuse(const std::string& message)
{
    m_ui.ShowError(message);
}

} // namespace copyjob
