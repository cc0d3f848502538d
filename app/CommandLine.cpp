#include "app/CommandLine.h"

#include "text/Ascii.h"

#include <algorithm>
#include <cctype>

std::string CommandLineText(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments) {
        if (&argument != &arguments.front())
            text += ' ';
        text += argument;
    }
    const auto first = std::find_if(text.begin(), text.end(),
                                    [](char c) { return static_cast<unsigned char>(c) > 0x20; });
    return std::string(first, text.end());
}

bool IsSetupSwitch(const std::string& commandLineText)
{
    static constexpr std::string_view kSwitch = "/setup";
    return EqualIgnoringAsciiCase(commandLineText, kSwitch);
}
