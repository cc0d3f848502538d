// The copy window: finds the disc, reads the book, shows where it will go
// and copies it. A disc with several books has them copied one after the
// other, each into a folder of its own.
#pragma once

#include "check/BookCheck.h"
#include "copy/CopyJob.h"
#include "ui/Dialog.h"
#include "ui/ExitStatus.h"

#include <wx/timer.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CMetaList;
struct FittedFolderName;
class CSettings;
class CSunkenLine;
class wxButton;
namespace disc {
struct FoundDisc;
}

class CCopyDlg : public CDialog
{
public:
    explicit CCopyDlg(wxWindow* parent = nullptr);
    ~CCopyDlg() override;

    // The settings window's record; not owned, never written. Set before
    // the window runs.
    CSettings* m_pSettings = nullptr;

    bool TransferDataToWindow() override;

    // A listed book that cannot be copied: its name (UTF-8) and why.
    struct CRefusedBook
    {
        std::string name;
        const char* why;
    };

    // How the run ended, for the process's exit status.
    ExitStatus Outcome() const { return m_outcome; }

protected:
    void OnShownOnScreen() override;
    void OnCancel() override;
    void OnOK() override;

    void OnInitDialog(wxInitDialogEvent& event);
    void OnShowWindow();
    void OnSearchDisc();
    void SearchDisc();
    void OnDiscFound(const disc::FoundDisc& found);
    void OnStartCopy();
    // The book check off the window's thread, and its findings back on it.
    void StartCheck();
    void OnChecked(const std::vector<check::CheckReport>& checks);
    // Enables the start button and gives it the focus.
    void OnReady();
    // What the copies complete of earlier incomplete ones, to follow the
    // check's words.
    wxString CompletionNotes() const;
    // Copies the planned books in order; the exit status of the run.
    ExitStatus CopyPlannedBooks();
    bool UpdateData(bool saveAndValidate);

    // One book to copy: from where, to where, and the title to show.
    struct CPlannedCopy
    {
        std::string source;  // ending in '/'
        std::string dest;    // UTF-8
        std::string title;   // as the reader gives it
        check::CheckReport check; // of the source, before the copy
        bool checked = false;         // whether `check` holds the check
        copy::Completion completion; // an earlier incomplete copy this one completes
    };

    // Reads the disc's one book, or the books its index lists; false when
    // the window must end (the user has been told why).
    bool PlanBooks(const std::string& bookFile);

    std::vector<CPlannedCopy> m_copies;
    // Books the disc's index lists, 0 for a disc that is one book.
    std::size_t m_listedBooks = 0;
    std::vector<CRefusedBook> m_refused;
    // Set when the copy starts and never cleared: from then on the window
    // may not be cancelled.
    bool m_bBusy = false;
    std::string m_strSourceRoot;
    // What the two lines show.
    wxString m_strTitleText;
    wxString m_strDestText;
    wxString m_strCheckText;

    wxButton* m_btnStart = nullptr;
    CSunkenLine* m_titleLine = nullptr;
    CSunkenLine* m_destLine = nullptr;
    CSunkenLine* m_checkLine = nullptr;

private:
    bool m_searchPosted = false;
    // The check's thread, joined when the window goes; `m_alive` tells its
    // answer whether the window is still there (read on the window's
    // thread only).
    std::thread m_checker;
    // Set as the window goes: the check then reads nothing more.
    std::atomic<bool> m_stopChecking{false};
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    bool m_checking = false;
    // Start was pressed while the check ran.
    bool m_startWhenChecked = false;
    wxTimer m_readyTimer;
    // The start button says which book is being copied (the first one).
    bool m_headingOnButton = false;
    // The last copy's line that every file was read back and found equal.
    std::string m_readBackLine;
    // That the copy made an earlier incomplete one whole, under its name.
    wxString m_nowWhole;
    // Until something else happens, a window that ends was cancelled.
    ExitStatus m_outcome = ExitStatus::Cancelled;
};
