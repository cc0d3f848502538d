// The About box, reached from the settings window's context menu.
#pragma once

#include "ui/Dialog.h"

// "Talvora  Version 1.5 Build 6" for version 1.5.6 of project(VERSION).
wxString AboutVersionText();

class CAboutDlg : public CDialog
{
public:
    explicit CAboutDlg(wxWindow* parent = nullptr);
};
