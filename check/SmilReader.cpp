#include "check/SmilReader.h"

#include "book/SafeXml.h"
#include "book/XmlWalk.h"

#include <tinyxml.h>

#include <charconv>
#include <cmath>

namespace check {

namespace {

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// A plain decimal number, digits with at most one point; no sign, no
// exponent, nothing after it.
bool Decimal(std::string_view text, double& value)
{
    if (text.empty() || text.front() == '.' || text.find_first_not_of("0123456789.") != std::string_view::npos)
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// Longer than anything on a disc: a century.
constexpr double kMaxClock = 100.0 * 365 * 24 * 3600;

} // namespace

bool ParseClockValue(std::string_view text, double& seconds)
{
    text = Trimmed(text);
    if (text.substr(0, 4) == "npt=")
        text.remove_prefix(4);
    double value = 0;
    if (text.find(':') != std::string_view::npos) {
        // hh:mm:ss.f or mm:ss.f
        double parts[3] = {};
        int count = 0;
        while (true) {
            const auto colon = text.find(':');
            if (count == 3 || !Decimal(text.substr(0, colon), parts[count]))
                return false;
            ++count;
            if (colon == std::string_view::npos)
                break;
            text.remove_prefix(colon + 1);
        }
        if (count < 2)
            return false;
        value = count == 3 ? parts[0] * 3600 + parts[1] * 60 + parts[2] : parts[0] * 60 + parts[1];
    } else {
        struct Unit
        {
            std::string_view suffix;
            double factor;
        };
        double factor = 1;
        for (const Unit unit : {Unit{"ms", 0.001}, Unit{"min", 60}, Unit{"h", 3600}, Unit{"s", 1}}) {
            if (text.size() > unit.suffix.size() && text.substr(text.size() - unit.suffix.size()) == unit.suffix) {
                text.remove_suffix(unit.suffix.size());
                factor = unit.factor;
                break;
            }
        }
        if (!Decimal(text, value))
            return false;
        value *= factor;
    }
    if (!(value >= 0 && value <= kMaxClock))
        return false;
    seconds = value;
    return true;
}

XmlFailure ReadSmilBytes(std::string_view fileBytes, std::vector<SmilReference>& refs)
{
    TiXmlDocument document;
    const XmlFailure loaded = ParseSafeXml(fileBytes, document);
    if (loaded != XmlFailure::None)
        return loaded;
    ForEachElement(document, [&](const TiXmlElement& element) {
        const char* src = element.Attribute("src");
        if (src == nullptr)
            return;
        const std::string_view name = LocalName(element.ValueStr());
        SmilReference ref;
        ref.src = src;
        if (name == "audio") {
            ref.type = SmilReference::Type::Audio;
            const char* end = element.Attribute("clip-end");
            if (end == nullptr)
                end = element.Attribute("clipEnd");
            if (end == nullptr || !ParseClockValue(end, ref.clipEnd))
                ref.clipEnd = -1;
        } else if (name == "text") {
            ref.type = SmilReference::Type::Text;
        }
        refs.push_back(std::move(ref));
    });
    return XmlFailure::None;
}

} // namespace check
