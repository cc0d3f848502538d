// Reads identifier, title and author from a DAISY 3 package file (*.opf).
//
// They come from the dc-metadata block (the OPF 2 layout, with the Dublin
// Core elements straight inside metadata, is read too): the dc:Identifier
// named by the package's unique-identifier (else the first one), dc:Title
// and the first dc:Creator. They are handed on under the NCC's meta names
// ("dc:identifier", "dc:title", "dc:creator") so that the folder naming
// treats both kinds of book alike. Strings are UTF-8 (DecodeBookText).
#pragma once

#include "text/MetaList.h"
#include "book/NccReader.h"

#include <string>
#include <string_view>

class TiXmlDocument;

enum class PackageFailure
{
    None,
    File,        // the file itself was refused; see FileFailure()
    NoPackage,   // the root element is not a package
    NoMetadata,  // no metadata, or none of identifier, title and author
};

class CPackageReader
{
public:
    // True when the file was read and holds usable metadata; false leaves
    // title and meta list untouched.
    bool ReadPackage(const std::string& path);
    bool ReadPackageBytes(std::string_view fileBytes);

    const std::string& BookTitle() const { return m_strBookTitle; }
    const CMetaList& MetaList() const { return m_metaList; }
    PackageFailure LastFailure() const { return m_lastFailure; }
    XmlFailure FileFailure() const { return m_fileFailure; }

    // A short Dutch description of the last failure, for the inspector.
    const char* DescribeFailure() const;

private:
    bool Read(XmlFailure loaded, const TiXmlDocument& document);

    std::string m_strBookTitle;
    CMetaList m_metaList;
    PackageFailure m_lastFailure = PackageFailure::None;
    XmlFailure m_fileFailure = XmlFailure::None;
};
