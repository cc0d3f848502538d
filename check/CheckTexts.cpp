// Every Dutch text of the book check, in one place.
#include "check/BookCheck.h"

#include "text/Ascii.h"
#include "text/Utf8.h"

#include <cmath>
#include <cstdio>

namespace check {

namespace {

std::string Quoted(const std::string& text)
{
    return "\"" + ShownText(text) + "\"";
}

// "Hoofdstuk 12" when the heading says so itself, else the heading named.
std::string ChapterPhrase(const std::string& chapter, bool capital)
{
    if (chapter.size() > 10 && EqualIgnoringAsciiCase(chapter.substr(0, 10), "hoofdstuk "))
        return (capital ? "H" : "h") + ShownText(chapter.substr(1));
    return std::string(capital ? "Het" : "het") + " hoofdstuk " + Quoted(chapter);
}

std::string Clock(double seconds)
{
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string Sentence(const Finding& f, const std::string& where)
{
    const std::string file = ShownText(f.file);
    const bool chapter = !f.chapter.empty();
    const bool part = f.role == Role::Smil || f.role == Role::Audio;
    const std::string ofChapter = chapter ? " (" + ChapterPhrase(f.chapter, false) + ")" : "";
    switch (f.kind) {
    case Kind::Missing:
        if (chapter && part)
            return ChapterPhrase(f.chapter, true) + " ontbreekt " + where + " (" + file + ").";
        if (chapter && f.role == Role::Text)
            return "De tekst van " + ChapterPhrase(f.chapter, false) + " ontbreekt " + where + " (" + file + ").";
        return "Het bestand " + file + " ontbreekt " + where + ofChapter + ".";
    case Kind::CaseOnly:
        return "Het bestand " + file + " heet " + where + " " + ShownText(f.actual) +
               ": dat werkt op een CD of een FAT-stick, maar niet op een Linux-schijf" + ofChapter + ".";
    case Kind::NotAFile:
        return file + " is " + where + " geen gewoon bestand" + ofChapter + ".";
    case Kind::Empty:
        if (chapter && part)
            return ChapterPhrase(f.chapter, true) + " is onvolledig " + where + ": het bestand " + file + " is leeg.";
        return "Het bestand " + file + " is leeg " + where + ofChapter + ".";
    case Kind::Unreadable:
        return "Het bestand " + file + " kan " + where + " niet worden gelezen" + ofChapter + ".";
    case Kind::Damaged:
        if (chapter && part)
            return ChapterPhrase(f.chapter, true) + " is onvolledig " + where + ": het bestand " + file +
                   " is beschadigd.";
        return "Het bestand " + file + " is beschadigd " + where + ".";
    case Kind::Truncated:
        return (chapter ? ChapterPhrase(f.chapter, true) : std::string("Het boek")) + " is onvolledig " + where +
               ": het geluidsbestand " + file + " duurt " + Clock(f.seconds) + " en moet minstens " +
               Clock(f.neededSeconds) + " duren.";
    case Kind::Unplayable:
        return (chapter ? ChapterPhrase(f.chapter, true) : std::string("Het boek")) + " is onvolledig " + where +
               ": het geluidsbestand " + file + " is beschadigd vanaf " + Clock(f.seconds) + "; ongeveer " +
               Clock(f.neededSeconds) + " ervan speelt niet.";
    case Kind::UnknownLength:
        return "Van het geluidsbestand " + file + " is de lengte niet te bepalen" + ofChapter + ".";
    case Kind::OutsideBook:
        return (chapter ? ChapterPhrase(f.chapter, true) : std::string("Het boek")) + " verwijst naar " + Quoted(f.file) +
               ", buiten het boek; dat wordt niet gecontroleerd en niet gekopieerd.";
    case Kind::Unreferenced:
        return "Niets in het boek verwijst naar het bestand " + file + ".";
    }
    return file;
}

} // namespace

std::string DescribeFinding(const Finding& finding, Place place)
{
    const std::string sentence = Sentence(finding, place == Place::Disc ? "op de CD" : "in de kopie");
    return finding.book.empty() ? sentence : "Boek " + Quoted(finding.book) + ": " + sentence;
}

std::string NothingMissingSentence(std::size_t books, bool unmeasured)
{
    if (!unmeasured)
        return books > 1 ? "Alle boeken op de CD zijn volledig." : "Het boek op de CD is volledig.";
    return books > 1 ? "Op de CD ontbreekt niets aan de boeken; of al het geluid heel is, blijkt bij het kopi\xC3\xABren."
                     : "Op de CD ontbreekt niets aan het boek; of al het geluid heel is, blijkt bij het kopi\xC3\xABren.";
}

std::string WholeAudioReadLine()
{
    return "Elk geluidsbestand wordt helemaal gelezen; van een CD duurt dat even.";
}

std::string PathNotThereLine()
{
    return "Dit bestand of deze map bestaat niet.";
}

std::string NoBookFileLine()
{
    return "Dit is geen ncc.html, pakketbestand (.opf) of discinfo.html, en geen map met een van die bestanden.";
}

const char* GradeWord(Grade grade)
{
    switch (grade) {
    case Grade::Fatal:
        return "fout";
    case Grade::Warning:
        return "waarschuwing";
    case Grade::Note:
        return "opmerking";
    }
    return "";
}

} // namespace check
