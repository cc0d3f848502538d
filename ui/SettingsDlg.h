// The settings window: the program's main window, where the user chooses
// where books go and how their folders are named, and where the mode of a
// start is decided.
#pragma once

#include "settings/Settings.h"
#include "ui/Dialog.h"
#include "ui/ExitStatus.h"

#include <wx/iconbndl.h>

class wxCheckBox;
class wxRadioButton;
class CSunkenLine;
class wxTextCtrl;

// Where the folder picker opens for the text in the folder field: that
// folder, or its nearest parent that exists; the home folder when none.
wxString PickerStartFolder(const wxString& field);

class CSettingsDlg : public CDialog
{
public:
    explicit CSettingsDlg(wxWindow* parent = nullptr);
    ~CSettingsDlg() override;

    // Decides the mode before anything is put on screen: in copy mode, and
    // after Cancel on the first-run question, this window never appears.
    int ShowModal() override;

    // Set by start-up between construction and ShowModal.
    bool m_bSetupMode = false;

    // The one settings record of the process; the copy window reads it
    // through a pointer.
    CSettings m_settings;

    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    // How the run ended: the copy window's outcome in copy mode, Done
    // otherwise.
    ExitStatus Outcome() const { return m_outcome; }

    // Longest output folder the field takes.
    static constexpr std::size_t kMaxOutputDir = 260;

protected:
    void OnOK() override;
    void OnInitDialog(wxInitDialogEvent& event);

    // Moves the members into the controls (false) or back (true); reading
    // back fails, after telling the user, when the folder text is too long.
    bool UpdateData(bool saveAndValidate);
    void UpdateFolderExample();
    wxString BrowseForFolder(const wxString& title);

    void OnBrowse();
    // Puts the focus on "Annuleren", the first tab stop.
    void FocusFirstStop();
    void OnSave();
    void OnNameItemClicked();
    void OnSysCommand(int id);

    wxString m_strOutputDir;
    int m_bUseIdentifier = 0;
    int m_bUseTitle = 0;
    int m_bUseCreator = 0;
    wxString m_strFolderExample;
    int m_bEjectWhenDone = 0;
    int m_bMessageWhenDone = 0;
    int m_bCopyViaTemp = 0;
    int m_bAutoStart = 0;
    // 0: warn before overwriting, 1: add a number, -1: neither chosen.
    int m_nExistingAction = -1;
    wxIconBundle m_hIcon;

private:
    enum class Mode { Edit, End };
    ExitStatus m_outcome = ExitStatus::Done;
    Mode DecideMode();
    // Set on a first start that goes on to the settings.
    bool m_bFirstRun = false;
    void LoadFromRecord();
    void StoreInRecord();

    wxTextCtrl* m_editOutputDir = nullptr;
    wxCheckBox* m_checkUseIdentifier = nullptr;
    wxCheckBox* m_checkUseTitle = nullptr;
    wxCheckBox* m_checkUseCreator = nullptr;
    CSunkenLine* m_textFolderExample = nullptr;
    wxRadioButton* m_radioConfirm = nullptr;
    wxRadioButton* m_radioNumber = nullptr;
    wxCheckBox* m_checkEjectWhenDone = nullptr;
    wxCheckBox* m_checkMessageWhenDone = nullptr;
    wxCheckBox* m_checkCopyViaTemp = nullptr;
    wxCheckBox* m_checkAutoStart = nullptr;
};
