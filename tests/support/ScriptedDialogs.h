// Message boxes answered by the test and remembered for its assertions.
#pragma once

#include "ui/DialogServices.h"

#include <deque>
#include <string>
#include <vector>

struct ShownMessage
{
    std::string text; // UTF-8
    unsigned type;
};

class CScriptedDialogs : public IDialogServices
{
public:
    // Installed for the lifetime of the object.
    CScriptedDialogs() : m_previous(InstallDialogServices(this)) {}
    ~CScriptedDialogs() override { InstallDialogServices(m_previous); }

    CScriptedDialogs(const CScriptedDialogs&) = delete;
    CScriptedDialogs& operator=(const CScriptedDialogs&) = delete;

    // Answers in order; once they run out every box is answered IDOK.
    void Answer(int code) { m_answers.push_back(code); }

    int MessageBox(wxWindow*, const wxString& text, unsigned type) override
    {
        shown.push_back({text.utf8_string(), type});
        if (m_answers.empty())
            return IDOK;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    std::vector<ShownMessage> shown;

private:
    std::deque<int> m_answers;
    IDialogServices* m_previous;
};
