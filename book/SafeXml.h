// The hostile-safe way from a file on a disc to a TinyXML tree, shared by
// every reader of the disc's XML files (package file, disc index).
//
// The same defences for every file, with the same limits: the file is read
// by this code (never waiting on a pipe, never larger than kMaxXmlBytes),
// prepared and padded as TinyXML's own LoadFile would, and measured by the
// shape scan before TinyXML builds anything.
#pragma once

#include "book/XmlShape.h"

#include <string>
#include <string_view>

class TiXmlDocument;
class TiXmlNode;

// Why a reader refused a file; the readers share the file failures and
// add their own (NoTitle: an NCC without html/head/title).
enum class XmlFailure
{
    None,
    CannotOpen,      // missing, unreadable, or not a regular file
    Empty,
    TooLarge,        // more than kMaxXmlBytes
    TooComplex,      // nesting, node count, attributes or parser work over the limits
    NotXml,          // TinyXML reports an error
    NoTitle,         // no html/head/title path, or title is not an element
};

// A short Dutch description, starting in lower case.
const char* DescribeXmlFailure(XmlFailure failure);

// The line that tells a user why a file was refused, the same in the copy
// window and in the inspector: "Reden: " and the description, with a full
// stop.
std::string XmlFailureReasonLine(XmlFailure failure);
std::string ReasonLine(const char* description);

// Reads path and parses it into document. XmlFailure::None on success;
// TooComplex, NotXml and the file failures otherwise, and then document
// holds nothing worth reading.
//
// With stopAfter (an element's name without prefix), a reader that needs
// only the start of a large document has just that part parsed: up to the
// end tag of the first element of that name, closed with the root's end
// tag. When that part is no well-formed document of its own (a comment or
// CDATA in the way), the whole document is parsed instead.
XmlFailure LoadSafeXml(const std::string& path, TiXmlDocument& document, std::string_view stopAfter = {});

// The same on the bytes of a file already in memory.
XmlFailure ParseSafeXml(std::string_view fileBytes, TiXmlDocument& document, std::string_view stopAfter = {});

// The text inside node, its elements' text included, with every run of
// white space made one blank and none at either end; the file's bytes, not
// yet decoded. A link's text, a heading's.
std::string CondensedText(const TiXmlNode& node);

// The part of an element's name after its namespace prefix.
std::string_view LocalName(std::string_view name);
