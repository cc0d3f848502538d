// The copy window: finds the disc, reads the book, shows where it will go
// and copies it; one book per run.
#pragma once

#include "book/NccReader.h"
#include "ui/Dialog.h"

#include <string>

class CSettings;
class CSunkenLine;
class wxButton;

// What the start button tells a screen reader once the book is found:
// "Kopieert ‘<title>’ naar <destination>"; empty before.
wxString StartDescription(const wxString& title, const wxString& destination);

class CCopyDlg : public CDialog
{
public:
    explicit CCopyDlg(wxWindow* parent = nullptr);
    ~CCopyDlg() override;

    // The settings window's record; not owned, never written. Set before
    // the window runs.
    CSettings* m_pSettings = nullptr;

    bool TransferDataToWindow() override;

protected:
    void OnShownOnScreen() override;
    void OnCancel() override;
    void OnOK() override;

    void OnInitDialog(wxInitDialogEvent& event);
    void OnShowWindow();
    void OnSearchDisc();
    void OnStartCopy();
    bool UpdateData(bool saveAndValidate);

    // The book's title and meta list, read from its ncc.html.
    CNccReader m_reader;
    // Set when the copy starts and never cleared: from then on the window
    // may not be cancelled.
    bool m_bBusy = false;
    std::string m_strSourceRoot;
    // The destination folder, UTF-8.
    std::string m_strDestPath;
    // What the two lines show, as UTF-8.
    wxString m_strTitleText;
    wxString m_strDestText;

    wxButton* m_btnStart = nullptr;
    CSunkenLine* m_titleLine = nullptr;
    CSunkenLine* m_destLine = nullptr;

private:
    bool m_searchPosted = false;
};
