#include "startup/DutchMessages.h"

#include <clocale>
#include <cstdlib>

namespace {

// Every category LC_ALL stands for, besides messages.
const char* const kOtherCategories[] = {"LC_CTYPE", "LC_NUMERIC",   "LC_TIME",        "LC_COLLATE",
                                        "LC_MONETARY", "LC_PAPER",  "LC_NAME",        "LC_ADDRESS",
                                        "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION"};

const char* const kAllVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANG",
                                     "LC_NUMERIC", "LC_TIME", "LC_COLLATE", "LC_MONETARY", "LC_PAPER",
                                     "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT",
                                     "LC_IDENTIFICATION"};

std::string Get(const LocaleEnvironment& env, const std::string& name)
{
    const auto it = env.find(name);
    return it != env.end() ? it->second : std::string();
}

// The locale a category gets, as the C library resolves it.
std::string Effective(const LocaleEnvironment& env, const std::string& category)
{
    for (const std::string& name : {std::string("LC_ALL"), category, std::string("LANG")})
        if (const std::string value = Get(env, name); !value.empty())
            return value;
    return "C";
}

bool IsPlainC(const std::string& locale)
{
    return locale == "C" || locale == "POSIX";
}

} // namespace

LocaleEnvironment WithDutchMessages(LocaleEnvironment env)
{
    env["LANGUAGE"] = "nl";
    if (!IsPlainC(Effective(env, "LC_MESSAGES")))
        return env;
    // LC_ALL overrides every single category, so it is spelt out into the
    // others before messages alone can change.
    if (const std::string all = Get(env, "LC_ALL"); !all.empty()) {
        for (const char* category : kOtherCategories)
            env[category] = all;
        env.erase("LC_ALL");
    }
    env["LC_MESSAGES"] = "C.UTF-8";
    return env;
}

void ForceDutchMessages()
{
    LocaleEnvironment now;
    for (const char* name : kAllVariables)
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
            now[name] = value;
    const LocaleEnvironment wanted = WithDutchMessages(now);
    for (const char* name : kAllVariables) {
        const std::string value = Get(wanted, name);
        if (value.empty())
            unsetenv(name);
        else if (value != Get(now, name))
            setenv(name, value.c_str(), 1);
    }
    // wxWidgets keeps GTK from setting the locale itself, and gettext reads
    // LANGUAGE only when the message locale is set.
    std::setlocale(LC_MESSAGES, "");
}
