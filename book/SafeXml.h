// The hostile-safe way from a file on a disc to a TinyXML tree, shared by
// every reader of the disc's XML files (package file, disc index).
//
// Same defences as the NCC reader, with the same limits: the file is read
// by this code (never waiting on a pipe, never larger than kMaxNccBytes),
// prepared and padded as TinyXML's own LoadFile would, and measured by the
// shape scan before TinyXML builds anything.
#pragma once

#include "book/NccReader.h"

#include <string>
#include <string_view>

class TiXmlDocument;

// Reads path and parses it into document. NccFailure::None on success;
// TooComplex, NotXml and the file failures otherwise, and then document
// holds nothing worth reading.
//
// With stopAfter (an element's name without prefix), a reader that needs
// only the start of a large document has just that part parsed: up to the
// end tag of the first element of that name, closed with the root's end
// tag. When that part is no well-formed document of its own (a comment or
// CDATA in the way), the whole document is parsed instead.
NccFailure LoadSafeXml(const std::string& path, TiXmlDocument& document, std::string_view stopAfter = {});

// The same on the bytes of a file already in memory.
NccFailure ParseSafeXml(std::string_view fileBytes, TiXmlDocument& document, std::string_view stopAfter = {});

// The part of an element's name after its namespace prefix.
std::string_view LocalName(std::string_view name);
