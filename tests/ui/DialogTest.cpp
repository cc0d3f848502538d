// How every window ends, whenever it is asked to.
#include "support/ModalDriver.h"
#include "ui/Dialog.h"
#include "ui/DialogServices.h"

#include <wx/button.h>

#include <gtest/gtest.h>

#include <chrono>

namespace {

class CProbeDlg : public CDialog
{
public:
    CProbeDlg() : CDialog(nullptr, wxID_ANY, "Probe") { new wxButton(this, IDCANCEL, "Annuleren"); }

    int endInInit = 0;
    bool refuseCancel = false;
    int cancels = 0;
    int shownOnScreen = 0;

protected:
    void OnCancel() override
    {
        ++cancels;
        if (!refuseCancel)
            CDialog::OnCancel();
    }
    void OnShownOnScreen() override { ++shownOnScreen; }

public:
    void EndInInit(int code)
    {
        endInInit = code;
        Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent&) { EndDialog(endInInit); });
    }
};

// Processes events until `done` holds or two seconds pass.
template <class F> bool RunUntil(F done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        wxYield();
    return done();
}

TEST(EndDialog, BeforeTheRunEndsItWithoutShowingTheWindow)
{
    CProbeDlg dlg;
    dlg.EndDialog(IDOK);
    EXPECT_EQ(IDOK, dlg.ShowModal());
    EXPECT_FALSE(dlg.IsShown());
    wxTheApp->ProcessPendingEvents();
}

TEST(EndDialog, DuringInitialisationEndsTheRunInsteadOfHanging)
{
    CProbeDlg dlg;
    dlg.EndInInit(IDCANCEL);
    EXPECT_EQ(IDCANCEL, dlg.ShowModal());
}

TEST(EndDialog, TakesEffectWhenTheHandlerReturnsAndTheLastCodeCounts)
{
    CProbeDlg dlg;
    bool stillRunningAfterCall = false;
    WhenModalRuns([&] {
        dlg.EndDialog(IDCANCEL);
        dlg.EndDialog(IDOK);
        stillRunningAfterCall = dlg.IsModal();
    });
    EXPECT_EQ(IDOK, dlg.ShowModal());
    EXPECT_TRUE(stillRunningAfterCall);
}

TEST(CancelRequests, EscapeCloseBoxAndCancelButtonGoThroughOnCancel)
{
    for (const int way : {0, 1, 2}) {
        CProbeDlg dlg;
        WhenModalRuns([&] {
            if (way == 0) {
                wxCommandEvent click(wxEVT_BUTTON, IDCANCEL);
                dlg.FindWindow(IDCANCEL)->GetEventHandler()->ProcessEvent(click);
            } else if (way == 1) {
                dlg.Close();
            } else {
                wxKeyEvent escape(wxEVT_CHAR_HOOK);
                escape.m_keyCode = WXK_ESCAPE;
                dlg.GetEventHandler()->ProcessEvent(escape);
            }
        });
        EXPECT_EQ(IDCANCEL, dlg.ShowModal());
        EXPECT_EQ(1, dlg.cancels);
    }
}

TEST(CancelRequests, AWindowMayRefuseToBeClosed)
{
    CProbeDlg dlg;
    dlg.refuseCancel = true;
    WhenModalRuns([&] {
        dlg.Close();
        EXPECT_TRUE(dlg.IsShown());
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, dlg.ShowModal());
    EXPECT_EQ(1, dlg.cancels);
}

TEST(ShownOnScreen, ComesOnceAfterTheFirstPaint)
{
    CProbeDlg dlg;
    WhenModalRuns([&] {
        EXPECT_TRUE(RunUntil([&] { return dlg.shownOnScreen > 0; }));
        dlg.Refresh();
        dlg.Update();
        wxYield();
        dlg.EndDialog(IDOK);
    });
    dlg.ShowModal();
    EXPECT_EQ(1, dlg.shownOnScreen);
}

} // namespace
