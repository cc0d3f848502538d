// Opens the per-user settings file as a wxWidgets profile.
#pragma once

#include <memory>
#include <string>

class wxFileConfig;

// Never fails and never shows a message: a missing, unreadable or garbled
// file gives an empty profile, whose values then read as their defaults.
// Its folder is made when the first save needs it.
std::unique_ptr<wxFileConfig> OpenSettingsFile(const std::string& path);
