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
NccFailure LoadSafeXml(const std::string& path, TiXmlDocument& document);

// The same on the bytes of a file already in memory.
NccFailure ParseSafeXml(std::string_view fileBytes, TiXmlDocument& document);

// The part of an element's name after its namespace prefix.
std::string_view LocalName(std::string_view name);
