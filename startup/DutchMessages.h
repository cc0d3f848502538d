// Talvora speaks Dutch only, also in GTK's own words: the folder picker's
// buttons and places, the names screen readers give message boxes
// ("Informatie", "Vraag", "Fout"), context menus. GTK takes those from its
// message catalogue in the environment's language, so the environment is
// set to Dutch messages before GTK starts. Numbers, sorting and everything
// else keep the user's own locale.
#pragma once

#include <map>
#include <string>

// The locale variables of an environment; a missing or empty one is unset.
using LocaleEnvironment = std::map<std::string, std::string>;

// What `env` must become for Dutch messages. gettext ignores LANGUAGE
// under the plain C (or POSIX) message locale, which becomes C.UTF-8.
LocaleEnvironment WithDutchMessages(LocaleEnvironment env);

// Applies WithDutchMessages to this process and sets its message locale
// from it; call before GTK starts.
void ForceDutchMessages();
