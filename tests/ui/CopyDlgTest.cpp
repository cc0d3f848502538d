// The copy window's whole run, from the search to its end, with scripted
// drives, copies and answers: what the user sees at each step and what
// reaches the copy and the tray.
#include "support/Controls.h"
#include "support/ModalDriver.h"
#include "support/ScriptedCopy.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "ui/Accessibility.h"
#include "ui/CopyDlg.h"
#include "ui/CopyServices.h"
#include "ui/Ids.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <fstream>

namespace {

using namespace ids;

const std::string kSearching = "Bezig met zoeken naar Daisy-CD...";
const std::string kNoDisc = "Geen Daisy-CD gevonden. Plaats een CD en klik op OK.";

std::string Ncc(const std::string& title, const std::vector<std::pair<std::string, std::string>>& metas)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html><head><title>" + title + "</title>\n";
    for (const auto& [name, content] : metas)
        text += "<meta name=\"" + name + "\" content=\"" + content + "\" />\n";
    return text + "</head><body><h1 class=\"title\">" + title + "</h1></body></html>\n";
}

const std::vector<std::pair<std::string, std::string>> kBookMetas = {
    {"dc:identifier", "133869"}, {"dc:title", "Het raadsel van de blauwe sluis"}, {"dc:creator", "Hoogmeer, TW"}};

// A disc in a temporary folder and everything the copy window runs with.
struct CopyWindowRun
{
    CTempDir dir;
    CScriptedDialogs dialogs;
    CScriptedCopy copy;
    CSettings settings{Profile()};
    std::string root;

    explicit CopyWindowRun(const std::string& ncc = Ncc("Het raadsel", kBookMetas))
    {
        root = dir / "disc/";
        std::filesystem::create_directories(root);
        std::ofstream(root + "ncc.html") << ncc;
        settings.OutputDir = dir / "boeken/";
        settings.EjectWhenDone = 1;
        settings.MessageWhenDone = 1;
        copy.DiscAnswers({root});
        dialogs.onShow = [this](const ShownMessage& m) { copy.log.push_back("message " + m.text); };
    }

    std::string Dest(const std::string& name) const { return settings.OutputDir + name; }

    // Runs the window; `whenReady` runs once the start button is enabled
    // (or never, when the window ends first).
    int Run(const std::function<void(CCopyDlg&)>& whenReady = {})
    {
        CCopyDlg dlg;
        dlg.m_pSettings = &settings;
        WhenModalRuns([&] {
            auto& start = Control<wxButton>(dlg, kStartCopy);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!dlg.IsEnding() && !start.IsEnabled() && std::chrono::steady_clock::now() < deadline)
                wxYield();
            if (dlg.IsEnding())
                return;
            titleWhenReady = TextOf(dlg, kTitleLine);
            destWhenReady = TextOf(dlg, kDestLine);
            focusOnStart = wxWindow::FindFocus() == &start;
            startDescription = AccessibleDescription(&start).utf8_string();
            if (whenReady)
                whenReady(dlg);
            else
                dlg.EndDialog(IDCANCEL);
        });
        return dlg.ShowModal();
    }

    std::string titleWhenReady, destWhenReady, startDescription;
    bool focusOnStart = false;
};

const std::string kBookFolder = "133869 - Het raadsel van de blauwe sluis - Hoogmeer, TW";

TEST(CopyWindow, ReadyShowsTitleAndDestinationThenStartCopiesEjectsAndTells)
{
    CopyWindowRun run;
    const int result = run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ("Het raadsel", run.titleWhenReady);
    EXPECT_EQ(run.Dest(kBookFolder), run.destWhenReady);
    EXPECT_TRUE(run.focusOnStart) << "Enter starts the copy once it is ready";
    EXPECT_EQ("Kopieert \xE2\x80\x98Het raadsel\xE2\x80\x99 naar " + run.Dest(kBookFolder), run.startDescription);
    const std::vector<std::string> expected = {"scan", "copy " + run.root + " -> " + run.Dest(kBookFolder),
                                               "eject " + run.root, "message Daisy-CD is gekopieerd."};
    EXPECT_EQ(expected, run.copy.log);
    EXPECT_EQ(MB_OK | MB_ICONASTERISK, run.dialogs.shown.at(0).type);
}

TEST(CopyWindow, SearchesOnceOnScreenWithTheSearchTextShownAndStartDisabled)
{
    CopyWindowRun run;
    std::vector<std::pair<std::string, bool>> seenAtScan;
    run.copy.duringScan = [&] {
        if (auto* dlg = FindShownWindow<CCopyDlg>())
            seenAtScan.emplace_back(TextOf(*dlg, kTitleLine), Control<wxButton>(*dlg, kStartCopy).IsEnabled());
    };
    run.Run();
    ASSERT_EQ(1u, seenAtScan.size());
    EXPECT_EQ(kSearching, seenAtScan[0].first);
    EXPECT_FALSE(seenAtScan[0].second);
}

TEST(CopyWindow, AutoStartCopiesWithoutEverEnablingStart)
{
    CopyWindowRun run;
    run.settings.AutoStart = 1;
    run.settings.MessageWhenDone = 0;
    bool startEnabledDuringCopy = true;
    wxString destDuringCopy;
    run.copy.duringCopy = [&](wxWindow& dlg, const auto&) {
        startEnabledDuringCopy = Control<wxButton>(dlg, kStartCopy).IsEnabled();
        destDuringCopy = TextOf(dlg, kDestLine);
    };
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg&) { ADD_FAILURE() << "start was enabled"; }));
    EXPECT_FALSE(startEnabledDuringCopy);
    EXPECT_EQ(run.Dest(kBookFolder), destDuringCopy.utf8_string());
    EXPECT_EQ((std::vector<std::string>{"scan", "copy " + run.root + " -> " + run.Dest(kBookFolder),
                                        "eject " + run.root}),
              run.copy.log);
}

TEST(CopyWindow, NoDiscAsksUntilOneIsFoundAndOkScansAgainAtOnce)
{
    CopyWindowRun run;
    run.copy.DiscAnswers({"", "", run.root});
    run.dialogs.Answer(IDOK);
    run.dialogs.Answer(IDOK);
    run.settings.AutoStart = 1;
    run.settings.EjectWhenDone = 0;
    run.settings.MessageWhenDone = 0;
    std::vector<std::string> titlesBehindPrompt;
    run.dialogs.onShow = [&](const ShownMessage&) { titlesBehindPrompt.push_back("shown"); };
    EXPECT_EQ(IDOK, run.Run());
    ASSERT_EQ(2u, run.dialogs.shown.size());
    for (const ShownMessage& m : run.dialogs.shown) {
        EXPECT_EQ(kNoDisc, m.text);
        EXPECT_EQ(MB_OKCANCEL | MB_ICONASTERISK, m.type);
    }
    EXPECT_EQ((std::vector<std::string>{"scan", "scan", "scan", "copy " + run.root + " -> " + run.Dest(kBookFolder)}),
              run.copy.log);
}

TEST(CopyWindow, CancelOnTheNoDiscPromptEndsWithoutTouchingAnything)
{
    CopyWindowRun run;
    run.copy.DiscAnswers({""});
    run.dialogs.Answer(IDCANCEL);
    EXPECT_EQ(IDCANCEL, run.Run());
    EXPECT_EQ((std::vector<std::string>{"scan", "message " + kNoDisc}), run.copy.log);
}

struct RefusedCase
{
    const char* what;
    std::string ncc;
    std::string message;
};

void PrintTo(const RefusedCase& c, std::ostream* out)
{
    *out << c.what;
}

class RefusedBook : public testing::TestWithParam<RefusedCase>
{};

TEST_P(RefusedBook, IsReportedWhileTheSearchTextShowsAndEndsTheWindow)
{
    CopyWindowRun run(GetParam().ncc);
    std::string titleBehindMessage;
    CCopyDlg* window = nullptr;
    run.dialogs.onShow = [&](const ShownMessage&) {
        window = FindShownWindow<CCopyDlg>();
        titleBehindMessage = window != nullptr ? TextOf(*window, kTitleLine) : "";
    };
    EXPECT_EQ(IDCANCEL, run.Run());
    ASSERT_EQ(1u, run.dialogs.shown.size());
    EXPECT_EQ(GetParam().message, run.dialogs.shown[0].text);
    EXPECT_EQ(MB_OK | MB_ICONHAND, run.dialogs.shown[0].type);
    EXPECT_EQ(kSearching, titleBehindMessage);
    EXPECT_EQ(std::vector<std::string>{"scan"}, run.copy.log) << "nothing copied, tray untouched";
}

INSTANTIATE_TEST_SUITE_P(
    Books, RefusedBook,
    testing::Values(
        RefusedCase{"not XML", "<html><head><title>x</title>",
                    "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur."},
        RefusedCase{"no title", "<html><head></head></html>",
                    "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur."},
        RefusedCase{"no name part", Ncc("Boek", {{"dc:format", "Daisy 2.02"}}),
                    "Kan de naam voor de nieuwe map niet bepalen."},
        RefusedCase{"only one of one", Ncc("Boek", {{"ncc:setInfo", "1 of 1"}}),
                    "Kan de naam voor de nieuwe map niet bepalen."}));

TEST(CopyWindow, FailedCopyEndsWithOkAndNeitherTrayNorMessage)
{
    CopyWindowRun run;
    run.copy.copyResult = false;
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
    EXPECT_EQ((std::vector<std::string>{"scan", "copy " + run.root + " -> " + run.Dest(kBookFolder)}), run.copy.log);
    EXPECT_TRUE(run.dialogs.shown.empty());
}

TEST(CopyWindow, SuccessWithTrayAndMessageOffJustEnds)
{
    CopyWindowRun run;
    run.settings.EjectWhenDone = 0;
    run.settings.MessageWhenDone = 0;
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
    EXPECT_EQ(2u, run.copy.log.size());
    EXPECT_TRUE(run.dialogs.shown.empty());
}

TEST(CopyWindow, CancelIsIgnoredWhileCopyingAndEndsTheWindowWhenReady)
{
    {
        CopyWindowRun run;
        bool openAfterClose = false;
        run.copy.duringCopy = [&](wxWindow& dlg, const auto&) {
            dlg.Close();
            openAfterClose = !static_cast<CCopyDlg&>(dlg).IsEnding();
        };
        EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
        EXPECT_TRUE(openAfterClose);
    }
    {
        CopyWindowRun run;
        EXPECT_EQ(IDCANCEL, run.Run([](CCopyDlg& dlg) { dlg.Close(); }));
        EXPECT_EQ(std::vector<std::string>{"scan"}, run.copy.log);
    }
}

TEST(CopyWindow, EnterOutsideTheStartButtonDoesNothing)
{
    CopyWindowRun run;
    bool stillOpen = false;
    run.Run([&](CCopyDlg& dlg) {
        wxCommandEvent enter(wxEVT_BUTTON, wxID_OK);
        dlg.GetEventHandler()->ProcessEvent(enter);
        stillOpen = !dlg.IsEnding();
        dlg.EndDialog(IDCANCEL);
    });
    EXPECT_TRUE(stillOpen);
}

TEST(CopyWindow, NumberedFolderReplacesTheDestinationLine)
{
    CopyWindowRun run;
    run.settings.ConfirmOverwrite = 0;
    std::string lineAfterwards, descriptionAfterwards;
    run.copy.duringCopy = [&](wxWindow& dlg, const std::function<void(const std::string&)>& show) {
        show(run.Dest(kBookFolder) + "_001");
        lineAfterwards = TextOf(dlg, kDestLine);
        descriptionAfterwards = AccessibleDescription(dlg.FindWindow(kStartCopy)).utf8_string();
    };
    run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    EXPECT_EQ(run.Dest(kBookFolder) + "_001", lineAfterwards);
    EXPECT_NE(std::string::npos, descriptionAfterwards.find(run.Dest(kBookFolder) + "_001"));
}

struct NameCase
{
    const char* what;
    std::string title;
    std::vector<std::pair<std::string, std::string>> metas;
    std::string shownTitle;
    std::string folder;
};

void PrintTo(const NameCase& c, std::ostream* out)
{
    *out << c.what;
}

class BookNames : public testing::TestWithParam<NameCase>
{};

TEST_P(BookNames, AreShownAsTheyAreAndMadeIntoOneFolder)
{
    const NameCase& c = GetParam();
    CopyWindowRun run(Ncc(c.title, c.metas));
    run.Run();
    EXPECT_EQ(c.shownTitle, run.titleWhenReady);
    EXPECT_EQ(run.Dest(c.folder), run.destWhenReady);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BookNames,
    testing::Values(
        NameCase{"ampersand shown as itself", "Kat &amp; Muis",
                 {{"dc:identifier", "1"}, {"dc:title", "Kat &amp; Muis"}, {"dc:creator", "A &amp; B"}},
                 "Kat & Muis", "1 - Kat & Muis - A & B"},
        NameCase{"second disc of three", "Boek",
                 {{"dc:identifier", "7"}, {"dc:title", "Boek"}, {"dc:creator", "X"}, {"ncc:setInfo", "2 of 3"}},
                 "Boek", "7 - Boek - X - 2 of 3"},
        NameCase{"accents", "Caf\xC3\xA9",
                 {{"dc:identifier", "9"}, {"dc:title", "Caf\xC3\xA9"}, {"dc:creator", "\xC3\x89\xC3\xA9n"}},
                 "Caf\xC3\xA9", "9 - Caf\xC3\xA9 - \xC3\x89\xC3\xA9n"},
        NameCase{"empty title element", "",
                 {{"dc:identifier", "5"}, {"dc:title", "T"}, {"dc:creator", "C"}}, "", "5 - T - C"},
        NameCase{"path characters in the name", "Boek",
                 {{"dc:identifier", "../.."}, {"dc:title", "a/b"}, {"dc:creator", "c:d"}}, "Boek",
                 "_____ - a_b - c_d"}));

} // namespace
