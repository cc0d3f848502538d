// Drives, copies and the tray as a test scripts them.
#pragma once

#include "ui/CopyServices.h"

#include <wx/app.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class wxWindow;

// Installed for its lifetime; every call is logged in order.
class CScriptedCopy : public ICopyServices
{
public:
    CScriptedCopy() : m_previous(InstallCopyServices(this)) {}
    ~CScriptedCopy() override { InstallCopyServices(m_previous); }

    // Each scan takes the next answer; "" is an empty drive. Once they run
    // out, every scan finds nothing.
    void DiscAnswers(std::deque<std::string> roots) { m_roots = std::move(roots); }

    // The book file each found root is said to hold.
    std::string bookFile = "ncc.html";

    // The answer comes as a posted event, as a real search's does; with
    // holdAnswers it waits until ReleaseAnswer (a search that takes long).
    void FindDaisyDisc(std::function<void(const disc::FoundDisc&)> found) override
    {
        log.push_back("scan");
        if (duringScan)
            duringScan();
        m_held = [found, answer = NextAnswer()] { found(answer); };
        if (!holdAnswers)
            ReleaseAnswer();
    }

    // Called on the copy window's checking thread; with holdChecks it waits
    // until ReleaseChecks (a slow disc), or until the window stops it
    // (counted in checksStopped), but never longer than 5 s.
    check::CheckReport CheckBook(const std::string& bookFolder, const std::atomic<bool>& stop) override
    {
        {
            std::unique_lock<std::mutex> lock(m_checkMutex);
            ++checksStarted;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (holdChecks && !stop && std::chrono::steady_clock::now() < deadline)
                m_checkReleased.wait_for(lock, std::chrono::milliseconds(10));
            if (holdChecks && stop)
                ++checksStopped;
            if (logChecks)
                log.push_back("check " + bookFolder);
        }
        const auto found = checks.find(bookFolder);
        return found != checks.end() ? found->second : check::CheckReport{};
    }
    void ReleaseChecks()
    {
        {
            std::lock_guard<std::mutex> lock(m_checkMutex);
            holdChecks = false;
        }
        m_checkReleased.notify_all();
    }
    bool holdChecks = false;
    std::atomic<int> checksStarted{0};
    std::atomic<int> checksStopped{0};

    bool AnswerHeld() const { return static_cast<bool>(m_held); }
    void ReleaseAnswer()
    {
        if (m_held)
            wxTheApp->CallAfter(std::exchange(m_held, {}));
    }
    bool holdAnswers = false;

    copy::CopyReport CopyBook(wxWindow* owner, const std::string& discRoot, const std::string& destPath,
                                 const wxString& heading, const CSettings&,
                                 const std::function<void(const std::string&)>& showDestination,
                                 const check::CheckReport* discCheck) override
    {
        log.push_back("copy " + discRoot + " -> " + destPath);
        headings.push_back(heading.utf8_string());
        if (duringCopy)
            duringCopy(*owner, showDestination);
        copy::CopyReport report;
        report.result = copyResult;
        report.folder = destPath;
        report.message = message;
        report.readBackLine = readBackLine;
        if (discCheck != nullptr) {
            report.discCheck = *discCheck;
            handedChecks.push_back(*discCheck);
        } else {
            ++copiesThatCheck;
        }
        if (!copyResults.empty()) {
            report.result = copyResults.front();
            copyResults.pop_front();
        }
        switch (report.result) {
        case copy::CopyResult::Copied:
            report.ending = copy::Ending::Whole;
            break;
        case copy::CopyResult::Cancelled:
            report.ending = copy::Ending::Cancelled;
            break;
        case copy::CopyResult::Refused:
            report.ending = copy::Ending::Refused;
            break;
        case copy::CopyResult::Failed:
            report.ending = copy::Ending::CopyLacks;
            break;
        }
        return report;
    }

    copy::Completion FindCompletion(const std::string&, const std::string& destPath, bool) override
    {
        return completions.count(destPath) ? completions[destPath] : copy::Completion{};
    }

    void EjectDisc(const std::string& discRoot) override { log.push_back("eject " + discRoot); }
    // Incomplete earlier copies that a copy completes, by destination.
    std::map<std::string, copy::Completion> completions;

    std::vector<std::string> log;
    std::vector<std::string> headings; // of each copy, as a screen reader hears it
    copy::CopyResult copyResult = copy::CopyResult::Copied;
    // Per copy, in order, before copyResult.
    std::deque<copy::CopyResult> copyResults;
    // The report's message of every copy.
    std::string message;
    std::string readBackLine;
    // What CheckBook finds, by book folder; nothing for a folder not listed.
    std::map<std::string, check::CheckReport> checks;
    // What each copy was handed as the disc's check.
    std::vector<check::CheckReport> handedChecks;
    // Copies handed no check, which check the disc themselves.
    int copiesThatCheck = 0;
    // Checks are logged only where a test looks at them.
    bool logChecks = false;
    std::function<void()> duringScan;
    std::function<void(wxWindow&, const std::function<void(const std::string&)>&)> duringCopy;

private:
    std::mutex m_checkMutex;
    std::condition_variable m_checkReleased;

    disc::FoundDisc NextAnswer()
    {
        if (m_roots.empty())
            return {};
        const std::string root = m_roots.front();
        m_roots.pop_front();
        if (root.empty())
            return {};
        return {root, root + bookFile, KindOfBookFile(bookFile)};
    }

    std::deque<std::string> m_roots;
    std::function<void()> m_held;
    ICopyServices* m_previous;
};

