// The About box, reached from the settings window's context menu.
#pragma once

#include "ui/Dialog.h"

class CAboutDlg : public CDialog
{
public:
    explicit CAboutDlg(wxWindow* parent = nullptr);
};
