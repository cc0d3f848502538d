// The Dutch words of the book readers, in one place: each reader keeps its
// failure as a value and these turn it into the line a user reads.
#include "book/DiscInfoReader.h"
#include "book/PackageReader.h"
#include "book/SafeXml.h"

#include <string>

const char* DescribeXmlFailure(XmlFailure failure)
{
    switch (failure) {
    case XmlFailure::None:
        return "geen fout";
    case XmlFailure::CannotOpen:
        return "het bestand bestaat niet, is niet leesbaar of is geen gewoon bestand";
    case XmlFailure::Empty:
        return "het bestand is leeg";
    case XmlFailure::TooLarge:
        return "het bestand is groter dan 32 MiB";
    case XmlFailure::TooComplex:
        return "het document is te diep genest of te ingewikkeld om veilig te lezen";
    case XmlFailure::NotXml:
        return "het bestand is geen geldige XML";
    case XmlFailure::NoTitle:
        return "er is geen element html/head/title";
    }
    return "onbekende fout";
}

std::string ReasonLine(const char* description)
{
    return std::string("Reden: ") + description + ".";
}

std::string XmlFailureReasonLine(XmlFailure failure)
{
    return ReasonLine(DescribeXmlFailure(failure));
}

const char* CPackageReader::DescribeFailure() const
{
    switch (m_lastFailure) {
    case PackageFailure::None:
        return "geen fout";
    case PackageFailure::File:
        return DescribeXmlFailure(m_fileFailure);
    case PackageFailure::NoPackage:
        return "het hoofdelement is geen package";
    case PackageFailure::NoMetadata:
        return "er zijn geen metagegevens (dc:Identifier, dc:Title of dc:Creator)";
    }
    return "onbekende fout";
}

const char* CDiscInfoReader::DescribeFailure() const
{
    if (m_fileFailure != XmlFailure::None)
        return DescribeXmlFailure(m_fileFailure);
    return m_books.empty() ? "er staat geen enkele geldige verwijzing naar een boek in" : "geen fout";
}
