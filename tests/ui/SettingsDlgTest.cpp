// The settings window as a user edits it: what it shows, what each click
// does to the example and the record, and what reaches the file.
#include "support/Controls.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProfile.h"
#include "support/TempDir.h"
#include "ui/AboutDlg.h"
#include "ui/Accessibility.h"
#include "ui/Ids.h"
#include "ui/SettingsDlg.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <wx/log.h>
#include <wx/utils.h>

#include <functional>
#include <map>

namespace {

using namespace ui::ids;

const std::string kAll = "133869 - Het raadsel van de blauwe sluis - Hoogmeer, TW";

struct Outcome
{
    int result = 0;
    bool stillOpenAfterActions = false;
};

// Runs the settings window in setup mode, performs `actions` once it is on
// screen, and cancels it if the actions left it open.
Outcome RunSettings(const std::function<void(CSettingsDlg&)>& actions)
{
    CSettingsDlg dlg;
    dlg.m_bSetupMode = true;
    Outcome outcome;
    WhenModalRuns([&] {
        actions(dlg);
        outcome.stillOpenAfterActions = !dlg.IsEnding();
        if (outcome.stillOpenAfterActions)
            dlg.EndDialog(IDCANCEL);
    });
    outcome.result = dlg.ShowModal();
    return outcome;
}

std::map<std::string, std::string> SavedValues(const CTestProfile& profile)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(profile.OnDisk());
    std::string line;
    while (std::getline(lines, line))
        if (const auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

TEST(SettingsWindow, FirstRunShowsTheDefaults)
{
    CTestProfile profile;
    CScriptedDialogs dialogs;
    RunSettings([](CSettingsDlg& dlg) {
        EXPECT_EQ("", TextOf(dlg, kOutputDir));
        for (int id : {kUseIdentifier, kUseTitle, kUseCreator, kConfirmOverwrite, kEjectWhenDone})
            EXPECT_TRUE(IsChecked(dlg, id)) << id;
        for (int id : {kAddNumber, kMessageWhenDone, kCopyViaTemp, kAutoStart})
            EXPECT_FALSE(IsChecked(dlg, id)) << id;
        EXPECT_EQ(kAll, TextOf(dlg, kFolderExample));
        EXPECT_EQ("Talvora Instellingen", dlg.GetTitle().utf8_string());
    });
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(SettingsWindow, StoredNumberingIsShownAndSavedUnchanged)
{
    CTestProfile profile("[Settings]\nOutputDir=/boeken/\nConfirmOverwrite=0\nUseTitle=5\n");
    CScriptedDialogs dialogs;
    const Outcome outcome = RunSettings([](CSettingsDlg& dlg) {
        EXPECT_TRUE(IsChecked(dlg, kAddNumber));
        EXPECT_FALSE(IsChecked(dlg, kConfirmOverwrite));
        EXPECT_TRUE(IsChecked(dlg, kUseTitle));
        Click(dlg, kSave);
    });
    EXPECT_EQ(IDOK, outcome.result);
    const auto saved = SavedValues(profile);
    EXPECT_EQ("0", saved.at("ConfirmOverwrite"));
    EXPECT_EQ("1", saved.at("UseTitle")) << "the window writes only 0 and 1";
    EXPECT_EQ("/boeken/", saved.at("OutputDir"));
}

struct ExampleCase
{
    bool identifier, title, creator;
    std::string example;
};

void PrintTo(const ExampleCase& c, std::ostream* out)
{
    *out << c.identifier << c.title << c.creator;
}

class FolderExample : public testing::TestWithParam<ExampleCase>
{};

TEST_P(FolderExample, FollowsTheTickedItemsAndKeepsOtherEdits)
{
    const ExampleCase& c = GetParam();
    CTestProfile profile;
    CScriptedDialogs dialogs;
    RunSettings([&](CSettingsDlg& dlg) {
        Type(dlg, kOutputDir, "/getypt/maar/niet/bewaard");
        Toggle(dlg, kMessageWhenDone);
        const std::pair<int, bool> wanted[] = {{kUseIdentifier, c.identifier}, {kUseTitle, c.title},
                                               {kUseCreator, c.creator}};
        for (const auto& [id, on] : wanted)
            if (IsChecked(dlg, id) != on)
                Toggle(dlg, id);
        EXPECT_EQ(c.example, TextOf(dlg, kFolderExample));
        EXPECT_EQ("/getypt/maar/niet/bewaard", TextOf(dlg, kOutputDir));
        EXPECT_TRUE(IsChecked(dlg, kMessageWhenDone));
    });
}

INSTANTIATE_TEST_SUITE_P(Combinations, FolderExample,
                         testing::Values(ExampleCase{true, true, true, kAll},
                                         ExampleCase{false, false, true, "Hoogmeer, TW"},
                                         ExampleCase{true, false, true, "133869 - Hoogmeer, TW"},
                                         ExampleCase{false, true, false, "Het raadsel van de blauwe sluis"},
                                         ExampleCase{true, true, false, "133869 - Het raadsel van de blauwe sluis"},
                                         ExampleCase{false, false, false, ""}), [](const testing::TestParamInfo<ExampleCase>& row) { return RowName(row.param.example, row.index); });

TEST(SettingsWindow, SavingWithNoNameItemTellsTheUserAndSavesNothing)
{
    CTestProfile profile("[Settings]\nOutputDir=/boeken/\n");
    const std::string before = profile.OnDisk();
    CScriptedDialogs dialogs;
    const Outcome outcome = RunSettings([](CSettingsDlg& dlg) {
        for (int id : {kUseIdentifier, kUseTitle, kUseCreator})
            Toggle(dlg, id);
        Click(dlg, kSave);
    });
    EXPECT_TRUE(outcome.stillOpenAfterActions);
    ASSERT_EQ(1u, dialogs.shown.size());
    EXPECT_EQ("Selecteer tenminste één van de items: identifier, titel of auteur.", dialogs.shown[0].text);
    EXPECT_EQ(MB_OK | MB_ICONASTERISK, dialogs.shown[0].type);
    EXPECT_EQ(before, profile.OnDisk());
}

struct PickCase
{
    const char* what;
    FolderChoice choice;
    std::string field;
    std::string message;
};

PRINT_CASE_AS(PickCase, what)

class FolderPicker : public testing::TestWithParam<PickCase>
{};

TEST_P(FolderPicker, FillsTheFieldOrExplainsWhyNot)
{
    const PickCase& c = GetParam();
    CTestProfile profile("[Settings]\nOutputDir=/oud/\n");
    CScriptedDialogs dialogs;
    dialogs.AnswerPicker(c.choice);
    RunSettings([&](CSettingsDlg& dlg) {
        EXPECT_EQ(dlg.FindWindow(IDCANCEL), wxWindow::FindFocus()) << "the window opens on Annuleren";
        dlg.FindWindow(kOutputDir)->SetFocus();
        Click(dlg, kBrowse);
        EXPECT_EQ(c.field, TextOf(dlg, kOutputDir));
        EXPECT_EQ(dlg.FindWindow(IDCANCEL), wxWindow::FindFocus()) << "and is back there after the picker";
    });
    ASSERT_EQ(1u, dialogs.pickerTitles.size());
    EXPECT_EQ("Selecteer de output directory en klik op OK.", dialogs.pickerTitles[0]);
    EXPECT_EQ("/", dialogs.pickerStarts[0]) << "/oud/ does not exist; its parent does";
    if (c.message.empty()) {
        EXPECT_TRUE(dialogs.shown.empty());
    } else {
        ASSERT_EQ(1u, dialogs.shown.size());
        EXPECT_EQ(c.message, dialogs.shown[0].text);
        EXPECT_EQ(MB_OK | MB_ICONHAND, dialogs.shown[0].type);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Choices, FolderPicker,
    testing::Values(PickCase{"folder gains a final slash", {true, true, "/media/usb/Boeken"}, "/media/usb/Boeken/", ""},
                    PickCase{"folder with slash kept", {true, true, "/media/usb/"}, "/media/usb/", ""},
                    PickCase{"root kept", {true, true, "/"}, "/", ""},
                    PickCase{"accents kept", {true, true, wxString::FromUTF8("/home/lezer/Boeken Café")},
                             "/home/lezer/Boeken Café/", ""},
                    PickCase{"cancelled", {false, false, ""}, "/oud/", ""},
                    PickCase{"not a folder on disk", {true, false, ""}, "/oud/", "Geen geldige directory geselecteerd!"},
                    PickCase{"empty path", {true, true, ""}, "/oud/", "Fout bij selecteren directory."}), [](const testing::TestParamInfo<PickCase>& row) { return RowName(row.param.what); });

struct SaveCase
{
    const char* typed;
    const char* saved;
    bool configuredNextTime;
};

void PrintTo(const SaveCase& c, std::ostream* out)
{
    *out << "[" << c.typed << "]";
}

class SaveFolder : public testing::TestWithParam<SaveCase>
{};

TEST_P(SaveFolder, EndsInASlashUnlessEmpty)
{
    CTestProfile profile("[Settings]\nOutputDir=/oud/\n");
    CScriptedDialogs dialogs;
    const Outcome outcome = RunSettings([&](CSettingsDlg& dlg) {
        Type(dlg, kOutputDir, wxString::FromUTF8(GetParam().typed));
        Click(dlg, kSave);
    });
    EXPECT_EQ(IDOK, outcome.result);
    EXPECT_EQ(GetParam().saved, SavedValues(profile).at("OutputDir"));
    EXPECT_EQ(GetParam().configuredNextTime, CSettings(Profile()).IsConfigured());
}

INSTANTIATE_TEST_SUITE_P(Typed, SaveFolder,
                         testing::Values(SaveCase{"/home/lezer/Boeken", "/home/lezer/Boeken/", true},
                                         SaveCase{"/home/lezer/Boeken/", "/home/lezer/Boeken/", true},
                                         SaveCase{"/bestaat/niet", "/bestaat/niet/", true},
                                         SaveCase{"", "", false}), [](const testing::TestParamInfo<SaveCase>& row) { return RowName(std::string(row.param.typed), row.index); });

TEST(SettingsWindow, FolderThatIsNoFullPathIsRefusedAndTheFieldHasTheFocus)
{
    for (const char* typed : {"~/boeken", "boeken", "./boeken/"}) {
        CTestProfile profile("[Settings]\nOutputDir=/oud/\n");
        CScriptedDialogs dialogs;
        bool focusOnField = false;
        const Outcome outcome = RunSettings([&](CSettingsDlg& dlg) {
            Type(dlg, kOutputDir, typed);
            Click(dlg, kSave);
            focusOnField = wxWindow::FindFocus() == dlg.FindWindow(kOutputDir);
        });
        EXPECT_TRUE(outcome.stillOpenAfterActions) << typed;
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].type, MB_OK | MB_ICONHAND);
        EXPECT_TRUE(focusOnField) << typed;
        EXPECT_EQ("/oud/", SavedValues(profile).at("OutputDir")) << "nothing saved";
    }
}

TEST(SettingsWindow, SaveWritesEveryChoice)
{
    CTestProfile profile;
    CScriptedDialogs dialogs;
    RunSettings([](CSettingsDlg& dlg) {
        Type(dlg, kOutputDir, "/boeken");
        Toggle(dlg, kUseCreator);
        Choose(dlg, kAddNumber);
        for (int id : {kEjectWhenDone, kMessageWhenDone, kCopyViaTemp, kAutoStart})
            Toggle(dlg, id);
        Click(dlg, kSave);
    });
    const std::map<std::string, std::string> expected{
        {"OutputDir", "/boeken/"}, {"UseIdentifier", "1"},  {"UseTitle", "1"},
        {"UseCreator", "0"},       {"ConfirmOverwrite", "0"}, {"EjectWhenDone", "0"},
        {"MessageWhenDone", "1"},  {"CopyViaTemp", "1"},    {"AutoStart", "1"}};
    EXPECT_EQ(expected, SavedValues(profile));
}

TEST(SettingsWindow, CancelAfterChangesWritesNothing)
{
    for (const bool viaButton : {true, false}) {
        CTestProfile profile("[Settings]\nOutputDir=/oud/\n");
        const std::string before = profile.OnDisk();
        CScriptedDialogs dialogs;
        const Outcome outcome = RunSettings([&](CSettingsDlg& dlg) {
            Type(dlg, kOutputDir, "/nieuw/");
            Toggle(dlg, kAutoStart);
            if (viaButton)
                Click(dlg, IDCANCEL);
            else
                dlg.Close(); // the close box, and Escape without a focused button
        });
        EXPECT_EQ(IDCANCEL, outcome.result);
        EXPECT_FALSE(outcome.stillOpenAfterActions);
        EXPECT_EQ(before, profile.OnDisk());
    }
}

TEST(SettingsWindow, EnterOutsideAPushButtonDoesNothing)
{
    CTestProfile profile;
    CScriptedDialogs dialogs;
    const Outcome outcome = RunSettings([](CSettingsDlg& dlg) {
        wxCommandEvent enter(wxEVT_BUTTON, wxID_OK);
        dlg.GetEventHandler()->ProcessEvent(enter);
    });
    EXPECT_TRUE(outcome.stillOpenAfterActions);
}

TEST(SettingsWindow, TooLongStoredFolderIsKeptWholeAndStopsTheSave)
{
    const std::string longFolder = "/" + std::string(300, 'a') + "/";
    CTestProfile profile("[Settings]\nOutputDir=" + longFolder + "\n");
    const std::string before = profile.OnDisk();
    CScriptedDialogs dialogs;
    const Outcome outcome = RunSettings([&](CSettingsDlg& dlg) {
        EXPECT_EQ(longFolder, TextOf(dlg, kOutputDir)) << "shown whole, not cut";
        Click(dlg, kSave);
        Toggle(dlg, kUseTitle); // every read-back stops the same way
    });
    EXPECT_TRUE(outcome.stillOpenAfterActions);
    ASSERT_EQ(2u, dialogs.shown.size());
    EXPECT_EQ("Voer niet meer dan 260 tekens in.", dialogs.shown[0].text);
    EXPECT_EQ(before, profile.OnDisk());
}

TEST(SettingsWindow, FolderFieldTakesAtMost260Characters)
{
    CTestProfile profile;
    CScriptedDialogs dialogs;
    RunSettings([](CSettingsDlg& dlg) {
        auto& edit = Control<wxTextCtrl>(dlg, kOutputDir);
        edit.SetFocus();
        edit.WriteText(wxString(260, 'b'));
        EXPECT_EQ(260u, edit.GetValue().length());
        edit.WriteText("c");
        EXPECT_EQ(wxString(260, 'b'), edit.GetValue());
    });
}

TEST(SettingsWindow, FailedSaveIsReportedAndTheWindowStays)
{
    CTempDir dir;
    std::ofstream(dir / "blocked") << "x";
    auto* previous = wxConfigBase::Set(OpenSettingsFile(dir / "blocked/Talvora.conf").release());
    CScriptedDialogs dialogs;
    const Outcome outcome = RunSettings([](CSettingsDlg& dlg) {
        Type(dlg, kOutputDir, "/boeken/");
        Click(dlg, kSave);
    });
    {
        wxLogNull quiet; // the unsaved change is tried once more on the way out
        delete wxConfigBase::Set(previous);
    }
    EXPECT_TRUE(outcome.stillOpenAfterActions);
    ASSERT_EQ(1u, dialogs.shown.size());
    EXPECT_EQ("De instellingen konden niet worden opgeslagen.", dialogs.shown[0].text);
    EXPECT_EQ(MB_OK | MB_ICONHAND, dialogs.shown[0].type);
}

TEST(SettingsWindow, AboutBoxReturnsToTheWindowWithEditsIntact)
{
    CTestProfile profile;
    CScriptedDialogs dialogs;
    bool aboutShown = false;
    std::string aboutTitle;
    RunSettings([&](CSettingsDlg& dlg) {
        Type(dlg, kOutputDir, "/half/getypt");
        Toggle(dlg, kUseIdentifier);
        WhenModalRuns([&] {
            if (auto* about = FindShownWindow<CAboutDlg>()) {
                aboutShown = true;
                aboutTitle = about->GetTitle().utf8_string();
                Click(*about, IDOK);
            }
        });
        wxCommandEvent choose(wxEVT_MENU, 0x10);
        dlg.GetEventHandler()->ProcessEvent(choose);
        EXPECT_EQ("/half/getypt", TextOf(dlg, kOutputDir));
        EXPECT_FALSE(IsChecked(dlg, kUseIdentifier));
        EXPECT_EQ("Het raadsel van de blauwe sluis - Hoogmeer, TW", TextOf(dlg, kFolderExample));
    });
    EXPECT_TRUE(aboutShown);
    EXPECT_EQ("About Talvora", aboutTitle);
}

TEST(FolderPicker, OpensInTheFieldsFolderOrItsNearestExistingParent)
{
    CTempDir dir;
    const std::string books = dir.Dir("boeken");
    const std::string home = wxGetHomeDir().utf8_string();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {books + "/", books},
        {books, books},
        {books + "/nieuw/nog dieper/", books},
        {"/", "/"},
        {"", home},
        {"relatief/pad", home},
    };
    for (const auto& [field, start] : cases)
        EXPECT_EQ(start, PickerStartFolder(wxString::FromUTF8(field)).utf8_string()) << field;
}

TEST(SettingsWindow, NameCheckBoxesTellTheExampleToScreenReaders)
{
    CTestProfile profile;
    CScriptedDialogs dialogs;
    std::vector<std::string> heard;
    RunSettings([&](CSettingsDlg& dlg) {
        for (int id : {kUseIdentifier, kUseTitle, kUseCreator}) {
            Toggle(dlg, id);
            heard.push_back(AccessibleDescription(dlg.FindWindow(id)).utf8_string());
        }
    });
    const std::vector<std::string> expected = {
        "Voorbeeld van nieuwe mapnaam: Het raadsel van de blauwe sluis - Hoogmeer, TW",
        "Voorbeeld van nieuwe mapnaam: Hoogmeer, TW", "Voorbeeld van nieuwe mapnaam: leeg"};
    EXPECT_EQ(expected, heard);
}

TEST(AboutBox, ShowsTheVersionAndEndsWithOkOrCancel)
{
    for (const int way : {IDOK, IDCANCEL}) {
        CAboutDlg about;
        WhenModalRuns([&] {
            if (way == IDOK)
                Click(about, IDOK);
            else
                about.Close();
        });
        EXPECT_EQ(way, about.ShowModal());
        bool found = false;
        for (wxWindow* child : about.GetChildren())
            if (auto* text = dynamic_cast<wxStaticText*>(child))
                found = found || text->GetLabelText() == "Talvora  Version 1.5 Build 6";
        EXPECT_TRUE(found);
    }
}

} // namespace
