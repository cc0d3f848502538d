#include "ui/SettingsDlg.h"

#include "ui/WindowTexts.h"

#include "ui/AboutDlg.h"
#include "ui/Accessibility.h"
#include "ui/CopyDlg.h"
#include "ui/DialogServices.h"
#include "ui/Icon.h"
#include "ui/Ids.h"
#include "ui/SunkenLine.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filename.h>
#include <wx/utils.h>
#include <wx/menu.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace {

wxString U(const char* utf8)
{
    return wxString::FromUTF8(utf8);
}

const char* const kNotConfigured =
    "Het programma is nog niet geconfigureerd. Klik op OK om de instellingen aan te passen.";
const char* const kPickerTitle = "Selecteer de output directory en klik op OK.";
const char* const kNoNameItem = "Selecteer tenminste één van de items: identifier, titel of auteur.";
const char* const kNotAFolder = "Geen geldige directory geselecteerd!";
const char* const kEmptyFolder = "Fout bij selecteren directory.";
const char* const kTooLong = "Voer niet meer dan 260 tekens in.";

// The samples the example name is made of.
const char* const kSampleIdentifier = "133869";
const char* const kSampleTitle = "Het raadsel van de blauwe sluis";
const char* const kSampleCreator = "Hoogmeer, TW";
const char* const kSeparator = " - ";

// Context-menu command that opens the About box.
constexpr int kAboutCommand = 0x10;

const char* const kExampleCaption = "Voorbeeld van nieuwe mapnaam:";

wxString WithFinalSlash(wxString path)
{
    if (!path.empty() && !path.EndsWith("/"))
        path += '/';
    return path;
}

} // namespace

wxString PickerStartFolder(const wxString& field)
{
    // The folder a user typed but has not made yet: its nearest parent that
    // exists is where they will want to look.
    wxFileName folder = wxFileName::DirName(field);
    if (!field.empty() && folder.IsAbsolute()) {
        while (!folder.DirExists() && folder.GetDirCount() > 0)
            folder.RemoveLastDir();
        if (folder.DirExists())
            return folder.GetPath();
    }
    return wxGetHomeDir();
}

CSettingsDlg::CSettingsDlg(wxWindow* parent)
    : CDialog(parent, wxID_ANY, "Talvora Instellingen", wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_hIcon(ProgramIcons())
{
    auto dlu = [this](int x, int y) { return Dlu(x, y); };
    const int gapY = Gap();

    // Controls are created in the order Tab visits them, which is not the
    // order they appear in: "Annuleren" first, "Opslaan" last.
    auto* cancel = AtLeast(new wxButton(this, IDCANCEL, "&Annuleren"), 50, 14);

    auto* folderLabel = new wxStaticText(this, wxID_ANY, "Locatie waar Daisy-boeken naar toe moeten worden gekopieerd:");
    m_editOutputDir = AtLeast(new wxTextCtrl(this, ui::ids::kOutputDir, wxString()), 206, 12);
    auto* browse = AtLeast(new wxButton(this, ui::ids::kBrowse, "&Zoek..."), 36, 13);

    auto* nameBox = new wxStaticBoxSizer(new CGroupBox(this, "Naam van nieuwe map met Daisy-boek"), wxVERTICAL);
    wxStaticBox* nameGroup = nameBox->GetStaticBox();
    m_checkUseIdentifier = new wxCheckBox(nameGroup, ui::ids::kUseIdentifier, "&Identifier");
    m_checkUseTitle = new wxCheckBox(nameGroup, ui::ids::kUseTitle, "&Titel");
    m_checkUseCreator = new wxCheckBox(nameGroup, ui::ids::kUseCreator, "A&uteur");
    auto* exampleLabel = new CCaption(nameGroup, kExampleCaption);
    m_textFolderExample = new CSunkenLine(nameGroup, ui::ids::kFolderExample, dlu(226, 10).x, wxST_ELLIPSIZE_END);
    exampleLabel->SetLabelFor(m_textFolderExample->Text());

    auto* existingBox = new wxStaticBoxSizer(
        new CGroupBox(this, "Wat te doen als er al een Daisy-boek met dezelfde titel bestaat"), wxVERTICAL);
    wxStaticBox* existingGroup = existingBox->GetStaticBox();
    m_radioConfirm = new wxRadioButton(existingGroup, ui::ids::kConfirmOverwrite,
                                       "&Waarschuw voordat Daisy-boek wordt overschreven", wxDefaultPosition,
                                       wxDefaultSize, wxRB_GROUP);
    m_radioNumber = new wxRadioButton(existingGroup, ui::ids::kAddNumber,
                                      "&Voeg automatisch een volgnummer toe aan de titel");

    m_checkEjectWhenDone =
        new wxCheckBox(this, ui::ids::kEjectWhenDone, U("&Lade van CD-ROM drive openen wanneer het kopiëren is voltooid"));
    m_checkMessageWhenDone =
        new wxCheckBox(this, ui::ids::kMessageWhenDone, U("&Melding geven wanneer het kopiëren is voltooid"));
    m_checkCopyViaTemp = new wxCheckBox(
        this, ui::ids::kCopyViaTemp, "&Kopieer CD via de harde schijf (langzamer, alleen bij problemen gebruiken)");
    m_checkAutoStart =
        new wxCheckBox(this, ui::ids::kAutoStart, U("M&eteen starten met kopiëren zodra het programma wordt gestart"));
    auto* save = AtLeast(new wxButton(this, ui::ids::kSave, "&Opslaan"), 50, 14);

    // Layout, top to bottom.
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(folderLabel);
    auto* folderRow = new wxBoxSizer(wxHORIZONTAL);
    folderRow->Add(m_editOutputDir, wxSizerFlags(1).CentreVertical());
    folderRow->Add(browse, wxSizerFlags().CentreVertical().Border(wxLEFT, dlu(6, 0).x));
    column->Add(folderRow, wxSizerFlags().Expand().Border(wxTOP, gapY));

    auto* nameRow = new wxBoxSizer(wxHORIZONTAL);
    for (wxCheckBox* check : {m_checkUseIdentifier, m_checkUseTitle, m_checkUseCreator})
        nameRow->Add(check, wxSizerFlags().Border(wxRIGHT, dlu(8, 0).x));
    nameBox->Add(nameRow, wxSizerFlags().Border(wxALL, gapY));
    nameBox->Add(exampleLabel, wxSizerFlags().Border(wxLEFT | wxRIGHT | wxTOP, gapY));
    nameBox->Add(m_textFolderExample, wxSizerFlags().Expand().Border(wxALL, gapY));
    column->Add(nameBox, wxSizerFlags().Expand().Border(wxTOP, GroupGap()));

    existingBox->Add(m_radioConfirm, wxSizerFlags().Border(wxLEFT | wxRIGHT | wxTOP, gapY));
    existingBox->Add(m_radioNumber, wxSizerFlags().Border(wxALL, gapY));
    column->Add(existingBox, wxSizerFlags().Expand().Border(wxTOP, gapY));

    for (wxCheckBox* check : {m_checkEjectWhenDone, m_checkMessageWhenDone, m_checkCopyViaTemp, m_checkAutoStart})
        column->Add(check, wxSizerFlags().Border(wxTOP, gapY));

    auto* buttonRow = new wxBoxSizer(wxHORIZONTAL);
    buttonRow->Add(save);
    buttonRow->AddStretchSpacer();
    buttonRow->Add(cancel);
    column->Add(buttonRow, wxSizerFlags().Expand().Border(wxTOP, dlu(0, 10).y));

    SetContent(column);
    CentreOnScreen();
    SetIcons(m_hIcon);

    Bind(wxEVT_INIT_DIALOG, &CSettingsDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnBrowse(); }, ui::ids::kBrowse);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnSave(); }, ui::ids::kSave);
    for (int id : {ui::ids::kUseIdentifier, ui::ids::kUseTitle, ui::ids::kUseCreator})
        Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { OnNameItemClicked(); }, id);
    // Enter does nothing here; GTK's own default would toggle the check box
    // that has the focus when no default button takes it, and Opslaan would
    // then save a change nobody meant. Space toggles.
    for (wxCheckBox* check : {m_checkUseIdentifier, m_checkUseTitle, m_checkUseCreator, m_checkEjectWhenDone,
                              m_checkMessageWhenDone, m_checkCopyViaTemp, m_checkAutoStart})
        check->Bind(wxEVT_KEY_DOWN, [](wxKeyEvent& event) {
            if (event.GetKeyCode() != WXK_RETURN && event.GetKeyCode() != WXK_NUMPAD_ENTER)
                event.Skip();
        });
    // GTK has no system menu; the About entry lives in the context menu
    // (right click, Shift+F10 or the Menu key).
    Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent& event) {
        // The folder field keeps GTK's own menu (cut, copy, paste).
        if (event.GetEventObject() == m_editOutputDir) {
            event.Skip();
            return;
        }
        wxMenu menu;
        menu.Append(kAboutCommand, "&About Talvora...");
        PopupMenu(&menu);
    });
    Bind(wxEVT_MENU, [this](wxCommandEvent& e) { OnSysCommand(e.GetId()); }, kAboutCommand);
    // Help requests do nothing in this window.
    Bind(wxEVT_HELP, [](wxHelpEvent&) {});
}

CSettingsDlg::~CSettingsDlg() = default;

int CSettingsDlg::ShowModal()
{
    m_settings.Load(Profile());
    LoadFromRecord();
    UpdateFolderExample();
    if (DecideMode() == Mode::End)
        return GetReturnCode();
    return CDialog::ShowModal();
}

CSettingsDlg::Mode CSettingsDlg::DecideMode()
{
    if (m_bSetupMode)
        return Mode::Edit;
    if (!m_settings.IsConfigured()) {
        if (AfxMessageBox(U(kNotConfigured), MB_OKCANCEL | MB_ICONASTERISK) != IDCANCEL) {
            m_bFirstRun = true;
            return Mode::Edit;
        }
        EndDialog(IDCANCEL);
        return Mode::End;
    }
    CCopyDlg copy;
    copy.m_pSettings = &m_settings;
    EndDialog(copy.ShowModal());
    m_outcome = copy.Outcome();
    return Mode::End;
}

void CSettingsDlg::OnInitDialog(wxInitDialogEvent&)
{
    UpdateData(false);
    // The window opens on its first tab stop, "Annuleren": Enter or Escape
    // on arrival leaves everything as it was, and Tab goes on to the folder.
    FocusFirstStop();
}

void CSettingsDlg::FocusFirstStop()
{
    if (wxWindow* cancel = FindWindow(IDCANCEL))
        cancel->SetFocus();
}

void CSettingsDlg::LoadFromRecord()
{
    m_strOutputDir = wxString::FromUTF8(m_settings.OutputDir);
    m_bUseIdentifier = m_settings.UseIdentifier;
    m_bUseTitle = m_settings.UseTitle;
    m_bUseCreator = m_settings.UseCreator;
    m_nExistingAction = m_settings.ConfirmOverwrite == 0 ? 1 : 0;
    m_bEjectWhenDone = m_settings.EjectWhenDone;
    m_bMessageWhenDone = m_settings.MessageWhenDone;
    m_bCopyViaTemp = m_settings.CopyViaTemp;
    m_bAutoStart = m_settings.AutoStart;
}

void CSettingsDlg::StoreInRecord()
{
    m_settings.OutputDir = m_strOutputDir.utf8_string();
    m_settings.UseIdentifier = m_bUseIdentifier;
    m_settings.UseTitle = m_bUseTitle;
    m_settings.UseCreator = m_bUseCreator;
    m_settings.ConfirmOverwrite = m_nExistingAction == 0 ? 1 : 0;
    m_settings.EjectWhenDone = m_bEjectWhenDone;
    m_settings.MessageWhenDone = m_bMessageWhenDone;
    m_settings.CopyViaTemp = m_bCopyViaTemp;
    m_settings.AutoStart = m_bAutoStart;
}

bool CSettingsDlg::TransferDataToWindow()
{
    // GTK cuts the text of a field to its limit, which would silently
    // shorten a longer stored folder; such a one is caught when read back.
    m_editOutputDir->SetMaxLength(m_strOutputDir.length() <= kMaxOutputDir ? kMaxOutputDir : 0);
    m_editOutputDir->ChangeValue(m_strOutputDir);
    m_checkUseIdentifier->SetValue(m_bUseIdentifier != 0);
    m_checkUseTitle->SetValue(m_bUseTitle != 0);
    m_checkUseCreator->SetValue(m_bUseCreator != 0);
    m_textFolderExample->SetText(m_strFolderExample);
    // A screen reader on a name check box hears the example change as the
    // box is toggled, without going looking for the example line.
    const wxString heard = wxString(kExampleCaption) + " " + (m_strFolderExample.empty() ? "leeg" : m_strFolderExample);
    for (wxCheckBox* check : {m_checkUseIdentifier, m_checkUseTitle, m_checkUseCreator})
        SetAccessibleDescription(check, heard);
    m_checkEjectWhenDone->SetValue(m_bEjectWhenDone != 0);
    m_checkMessageWhenDone->SetValue(m_bMessageWhenDone != 0);
    m_checkCopyViaTemp->SetValue(m_bCopyViaTemp != 0);
    m_checkAutoStart->SetValue(m_bAutoStart != 0);
    m_radioConfirm->SetValue(m_nExistingAction == 0);
    m_radioNumber->SetValue(m_nExistingAction == 1);
    return true;
}

bool CSettingsDlg::TransferDataFromWindow()
{
    const wxString folder = m_editOutputDir->GetValue();
    if (folder.length() > kMaxOutputDir) {
        AfxMessageBox(U(kTooLong), MB_OK | MB_ICONHAND);
        m_editOutputDir->SetFocus();
        return false;
    }
    m_strOutputDir = folder;
    m_bUseIdentifier = m_checkUseIdentifier->GetValue();
    m_bUseTitle = m_checkUseTitle->GetValue();
    m_bUseCreator = m_checkUseCreator->GetValue();
    m_bEjectWhenDone = m_checkEjectWhenDone->GetValue();
    m_bMessageWhenDone = m_checkMessageWhenDone->GetValue();
    m_bCopyViaTemp = m_checkCopyViaTemp->GetValue();
    m_bAutoStart = m_checkAutoStart->GetValue();
    m_nExistingAction = m_radioConfirm->GetValue() ? 0 : m_radioNumber->GetValue() ? 1 : -1;
    return true;
}

bool CSettingsDlg::UpdateData(bool saveAndValidate)
{
    return saveAndValidate ? TransferDataFromWindow() : TransferDataToWindow();
}

void CSettingsDlg::UpdateFolderExample()
{
    m_strFolderExample.clear();
    auto append = [this](const char* sample) {
        if (!m_strFolderExample.empty())
            m_strFolderExample += kSeparator;
        m_strFolderExample += U(sample);
    };
    if (m_bUseIdentifier)
        append(kSampleIdentifier);
    if (m_bUseTitle)
        append(kSampleTitle);
    if (m_bUseCreator)
        append(kSampleCreator);
    UpdateData(false);
}

void CSettingsDlg::OnNameItemClicked()
{
    // Everything typed or ticked elsewhere is read back first, so that it
    // survives the redisplay.
    if (UpdateData(true))
        UpdateFolderExample();
}

wxString CSettingsDlg::BrowseForFolder(const wxString& title)
{
    const FolderChoice choice = DialogServices().PickFolder(this, title, PickerStartFolder(m_strOutputDir));
    if (!choice.chosen)
        return {};
    if (!choice.hasPath) {
        AfxMessageBox(U(kNotAFolder), MB_OK | MB_ICONHAND);
        return {};
    }
    if (choice.path.empty())
        AfxMessageBox(U(kEmptyFolder), MB_OK | MB_ICONHAND);
    return choice.path;
}

void CSettingsDlg::OnBrowse()
{
    if (!UpdateData(true))
        return;
    const wxString folder = BrowseForFolder(U(kPickerTitle));
    // Back where the window starts, whatever GTK would give the focus to.
    FocusFirstStop();
    if (folder.empty())
        return;
    m_strOutputDir = WithFinalSlash(folder);
    UpdateData(false);
}

void CSettingsDlg::OnSave()
{
    if (!UpdateData(true))
        return;
    if (!m_bUseIdentifier && !m_bUseTitle && !m_bUseCreator) {
        AfxMessageBox(U(kNoNameItem), MB_OK | MB_ICONASTERISK);
        return;
    }
    // A relative folder would put the books wherever the program happens to
    // start; "~" is no folder name to anything but a shell.
    if (!m_strOutputDir.empty() && !m_strOutputDir.StartsWith("/")) {
        AfxMessageBox(U(ui::text::kNotAbsolute), MB_OK | MB_ICONHAND);
        m_editOutputDir->SetFocus();
        return;
    }
    m_strOutputDir = WithFinalSlash(m_strOutputDir);
    StoreInRecord();
    // Closing as if saved when the file could not be written would lose the
    // user's choices without a word; the window stays so they can retry.
    if (!m_settings.Save(Profile())) {
        AfxMessageBox(U(ui::text::kNotSaved), MB_OK | MB_ICONHAND);
        return;
    }
    // The first start ends here; the user hears why nothing is copied yet.
    if (m_bFirstRun)
        DialogServices().Announce(U(ui::text::kFirstRunSaved));
    EndDialog(IDOK);
}

void CSettingsDlg::OnSysCommand(int id)
{
    if ((id & 0xFFF0) != kAboutCommand)
        return;
    CAboutDlg about;
    about.ShowModal();
}

void CSettingsDlg::OnOK()
{
    // Enter does nothing here unless a push button has the focus.
}
