// Message boxes answered by the test and remembered for its assertions.
#pragma once

#include "ui/DialogServices.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct ShownMessage
{
    std::string text; // UTF-8
    unsigned type;
    std::vector<std::string> buttons = {}; // a question's, in reading order
};

class CScriptedDialogs : public IDialogServices
{
public:
    // Installed for the lifetime of the object.
    CScriptedDialogs() : m_previous(InstallDialogServices(this)) {}
    ~CScriptedDialogs() override { InstallDialogServices(m_previous); }

    CScriptedDialogs(const CScriptedDialogs&) = delete;
    CScriptedDialogs& operator=(const CScriptedDialogs&) = delete;

    // Answers in order; once they run out a box with Cancel is cancelled
    // (so no test can loop on a question forever) and any other is OK.
    void Answer(int code) { m_answers.push_back(code); }

    int MessageBox(wxWindow*, const wxString& text, unsigned type) override
    {
        shown.push_back({text.utf8_string(), type});
        if (onShow)
            onShow(shown.back());
        if (m_answers.empty())
            return (type & 0x0F) == MB_OKCANCEL ? IDCANCEL : IDOK;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    // Questions are answered with the index of a button, in order; once
    // the answers run out, with the last button (the one that cancels).
    void AnswerQuestion(std::size_t button) { m_questionAnswers.push_back(button); }

    std::size_t Ask(wxWindow*, const wxString& text, const std::vector<wxString>& buttons, unsigned icon) override
    {
        ShownMessage question{text.utf8_string(), icon, {}};
        for (const wxString& label : buttons)
            question.buttons.push_back(label.utf8_string());
        shown.push_back(std::move(question));
        if (onShow)
            onShow(shown.back());
        if (m_questionAnswers.empty())
            return buttons.size() - 1;
        const std::size_t answer = m_questionAnswers.front();
        m_questionAnswers.pop_front();
        return answer;
    }

    void Announce(const wxString& text) override { announced.push_back(text.utf8_string()); }

    // Picker answers in order; once they run out the picker is cancelled.
    void AnswerPicker(FolderChoice choice) { m_picks.push_back(std::move(choice)); }

    FolderChoice PickFolder(wxWindow*, const wxString& title, const wxString& startFolder) override
    {
        pickerTitles.push_back(title.utf8_string());
        pickerStarts.push_back(startFolder.utf8_string());
        if (m_picks.empty())
            return {};
        FolderChoice choice = m_picks.front();
        m_picks.pop_front();
        return choice;
    }

    std::vector<ShownMessage> shown;
    std::vector<std::string> announced;
    std::vector<std::string> pickerTitles;
    std::vector<std::string> pickerStarts;
    // Called as each box appears, to look at the window behind it.
    std::function<void(const ShownMessage&)> onShow;

private:
    std::deque<int> m_answers;
    std::deque<std::size_t> m_questionAnswers;
    std::deque<FolderChoice> m_picks;
    IDialogServices* m_previous;
};
