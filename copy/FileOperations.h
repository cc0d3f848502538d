// The copy job's file operations on the real file system, with a window
// (or any other ICopyUi) showing progress and asking the questions.
#pragma once

#include "copy/CopyEngine.h"
#include "copy/CopyJob.h"

#include <functional>
#include <string>

namespace copyjob {

// What the copy needs of a user interface. The copy window's progress
// window implements it (ui/CopyProgress.h).
class ICopyUi
{
public:
    virtual ~ICopyUi() = default;

    // Runs work on a worker thread while a progress window titled title is
    // shown; work reports through the reporter it is given. Returns work's
    // result once the worker has ended.
    virtual bool RunCopy(const std::string& title, const std::function<bool(copyops::ICopyReporter&)>& work) = 0;

    // An error message for the user.
    virtual void ShowError(const std::string& message) = 0;
};

class CFileOperations final : public IFileOperations
{
public:
    // engine: nullptr for the real one; tests pass one with faults.
    explicit CFileOperations(ICopyUi& ui, copyops::CCopyEngine* engine = nullptr);

    PathState Inspect(const std::string& path) override;
    bool Copy(const std::string& sourceFolder, const std::string& destFolder, const std::string& title,
              bool askBeforeReplace) override;
    bool Delete(const std::string& folder) override;
    void Refuse(const std::string& message) override;

private:
    ICopyUi& m_ui;
    copyops::CCopyEngine m_ownEngine;
    copyops::CCopyEngine& m_engine;
};

} // namespace copyjob
