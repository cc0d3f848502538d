// The settings window: the program's main window, and where the mode of a
// start is decided.
#pragma once

#include "settings/Settings.h"
#include "ui/Dialog.h"

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

protected:
    void OnOK() override;
    void OnInitDialog(wxInitDialogEvent& event);

private:
    enum class Mode { Edit, End };
    Mode DecideMode();
};
