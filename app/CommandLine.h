// How a start asks for setup mode.
#pragma once

#include <string>
#include <vector>

// The text after the program's name: the arguments (without the program's
// name) joined by single blanks, with the blanks (every byte up to 0x20)
// before it skipped and those at its end kept.
std::string CommandLineText(const std::vector<std::string>& arguments);

// True when the text is "/setup" in any mix of upper and lower case,
// nothing before or after it.
bool IsSetupSwitch(const std::string& commandLineText);
