// Reads any bytes as an ncc.html and names a folder from what it gives.
//
// Besides crashes, it checks the one promise the reader's safety rests on:
// the shape scan never sees less nesting or fewer nodes than TinyXML
// actually builds from the same text; and that all text the reader keeps,
// however the file is encoded, is valid UTF-8.
#include "text/BookText.h"
#include "book/NccReader.h"
#include "support/TinyXmlTree.h"
#include "naming/FolderName.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

void CheckShapeAgainstTinyXml(std::string_view bytes)
{
    const std::string text = PrepareXmlText(std::string(bytes));
    const XmlShape shape = ScanXmlShape(text.c_str());
    if (!shape.withinLimits)
        return;
    TiXmlBase::SetCondenseWhiteSpace(false);
    TiXmlDocument document;
    document.SetTabSize(0);
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    // The tree holds every node TinyXML made, also after an error, apart
    // from blank text, which it deletes: the scan counts that too.
    TreeSize tree;
    Measure(document, 0, tree);
    Require(tree.depth <= shape.maxDepth, "scan depth below TinyXML's");
    Require(tree.nodes <= shape.nodes, "scan node count below TinyXML's");
}

bool IsOneFolderBelow(const std::string& path, const std::string& outputDir)
{
    if (path.compare(0, outputDir.size(), outputDir) != 0)
        return false;
    const std::string name = path.substr(outputDir.size());
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckShapeAgainstTinyXml(bytes);
    const std::string decoded = DecodeBookText(bytes);
    Require(IsValidUtf8(decoded), "decoded text is not valid UTF-8");
    Require(!IsValidUtf8(bytes) || decoded == bytes, "valid UTF-8 changed by decoding");

    CNccReader reader;
    if (!reader.ReadNccBytes(bytes))
        return 0;
    Require(IsValidUtf8(reader.BookTitle()), "title is not valid UTF-8");
    for (const CMetaItem& item : reader.MetaList())
        Require(IsValidUtf8(item.m_strName) && IsValidUtf8(item.m_strContent), "meta entry is not valid UTF-8");
    for (int switches = 0; switches < 8; ++switches) {
        const std::string outputDir = "/home/lezer/Boeken/";
        const FittedFolderName fitted =
            FitFolderName(ComposeFolderNameParts(switches & 1, switches & 2, switches & 4, reader.MetaList()), outputDir);
        if (fitted.path.empty())
            continue;
        Require(IsOneFolderBelow(fitted.path, outputDir), "name leaves the output folder");
    }
    return 0;
}
