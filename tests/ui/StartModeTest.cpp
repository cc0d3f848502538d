// Which window a start shows, decided before anything reaches the screen.
#include "support/ModalDriver.h"
#include "support/ScriptedCopy.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProfile.h"
#include "ui/CopyDlg.h"
#include "ui/SettingsDlg.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char* const kNotConfigured =
    "Het programma is nog niet geconfigureerd. Klik op OK om de instellingen aan te passen.";
const char* const kConfigured = "[Settings]\nOutputDir=/boeken/\n";

int QuestionsAsked(const CScriptedDialogs& dialogs)
{
    return static_cast<int>(std::count_if(dialogs.shown.begin(), dialogs.shown.end(),
                                          [](const ShownMessage& m) { return m.text == kNotConfigured; }));
}

// Counts every time the window is put on screen, however briefly.
struct ShowCounter
{
    explicit ShowCounter(wxWindow& window)
    {
        window.Bind(wxEVT_SHOW, [this](wxShowEvent& e) {
            shows += e.IsShown() ? 1 : 0;
            e.Skip();
        });
    }
    int shows = 0;
};

struct ModeCase
{
    const char* what;
    const char* profile;
    bool setupMode;
    std::vector<int> answers;      // to the first-run question, if asked
    bool expectQuestion;
    bool expectSettingsWindow;
    bool expectCopyWindow;
};

PRINT_CASE_AS(ModeCase, what)

class StartMode : public testing::TestWithParam<ModeCase>
{};

TEST_P(StartMode, ShowsOnlyTheWindowItsModeCallsFor)
{
    const ModeCase& c = GetParam();
    CTestProfile profile(c.profile);
    const std::string before = profile.OnDisk();
    CScriptedDialogs dialogs;
    CScriptedCopy drives; // whatever the copy window does before it is ended
    for (int answer : c.answers)
        dialogs.Answer(answer);

    CSettingsDlg dlg;
    ShowCounter settingsShows(dlg);
    dlg.m_bSetupMode = c.setupMode;
    bool sawCopyWindow = false;
    bool copyUsesTheRecord = false;
    // Whatever window runs ends itself once it is on screen.
    WhenModalRuns([&] {
        if (auto* copy = FindShownWindow<CCopyDlg>()) {
            sawCopyWindow = true;
            copyUsesTheRecord = copy->m_pSettings == &dlg.m_settings;
            copy->EndDialog(IDOK);
        } else {
            dlg.EndDialog(IDCANCEL);
        }
    });
    const int result = dlg.ShowModal();

    if (c.expectQuestion) {
        ASSERT_EQ(1u, dialogs.shown.size());
        EXPECT_EQ(kNotConfigured, dialogs.shown[0].text);
        EXPECT_EQ(MB_OKCANCEL | MB_ICONASTERISK, dialogs.shown[0].type);
    } else {
        EXPECT_EQ(0, QuestionsAsked(dialogs));
    }
    EXPECT_EQ(c.expectSettingsWindow ? 1 : 0, settingsShows.shows);
    EXPECT_EQ(c.expectCopyWindow, sawCopyWindow);
    if (c.expectCopyWindow) {
        EXPECT_TRUE(copyUsesTheRecord);
        EXPECT_EQ(IDOK, result) << "ends with the copy window's code";
    } else {
        EXPECT_EQ(IDCANCEL, result);
    }
    EXPECT_EQ(before, profile.OnDisk()) << "no mode writes the settings by itself";

    // The posted step must not outlive a test whose window never ran.
    wxTheApp->ProcessPendingEvents();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StartMode,
    testing::Values(
        ModeCase{"setup without configuration: no question", "", true, {}, false, true, false},
        ModeCase{"setup when configured", kConfigured, true, {}, false, true, false},
        ModeCase{"first run, Cancel: nothing shown or written", "", false, {IDCANCEL}, true, false, false},
        ModeCase{"first run, OK: the settings window", "", false, {IDOK}, true, true, false},
        ModeCase{"empty output folder counts as first run", "[Settings]\nOutputDir=\n", false, {IDCANCEL}, true,
                 false, false},
        ModeCase{"copy mode never shows the settings window", kConfigured, false, {}, false, false, true}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(StartMode, CopyModeEndsWithWhateverTheCopyWindowEndsWith)
{
    CTestProfile profile(kConfigured);
    CScriptedDialogs dialogs;
    CScriptedCopy drives;
    CSettingsDlg dlg;
    WhenModalRuns([] { FindShownWindow<CCopyDlg>()->EndDialog(IDCANCEL); });
    EXPECT_EQ(IDCANCEL, dlg.ShowModal());
}

TEST(StartMode, SettingsAreLoadedAgainJustBeforeTheDecision)
{
    CTestProfile profile;
    CSettingsDlg dlg; // constructed while the profile is still empty
    wxConfigBase::Get()->Write("/Settings/OutputDir", "/later/");
    WhenModalRuns([] {
        if (auto* copy = FindShownWindow<CCopyDlg>())
            copy->EndDialog(IDOK);
    });
    CScriptedDialogs dialogs;
    CScriptedCopy drives;
    EXPECT_EQ(IDOK, dlg.ShowModal());
    EXPECT_EQ(0, QuestionsAsked(dialogs)) << "the fresh value makes it a copy start";
    EXPECT_EQ("/later/", dlg.m_settings.OutputDir);
}

} // namespace
