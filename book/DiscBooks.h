// What a disc holds, whatever kind it is: one DAISY 2.02 book (ncc.html),
// one DAISY 3 book (a package file) or several books listed by
// discinfo.html, each in a folder of its own.
#pragma once

#include "book/BookFile.h"
#include "text/MetaList.h"

#include <string>
#include <vector>

// A book's title and meta list, UTF-8, as the folder naming reads them.
struct CBookInfo
{
    std::string title;
    CMetaList metaList;
};

// Reads an ncc.html or a package file. False when the reader refuses it;
// reason then receives the Dutch line that says why ("Reden: ...").
bool ReadBookFile(const std::string& path, CBookInfo& info, std::string* reason = nullptr);

// One book listed on a disc with several.
struct CDiscBook
{
    std::string folder;    // absolute, ending in '/'; what gets copied
    std::string bookFile;  // its ncc.html or package file, absolute
    std::string name;      // how messages name it: the link's text, else its folder; UTF-8
    bool found = false;    // the book file is there, inside the disc
};

// The books that discInfoPath (at root, ending in '/') lists, in its order.
// False when the file is refused or names no book at all. Books whose file
// is missing, or reached through a link that leads off the disc, are listed
// with found false.
bool ListDiscBooks(const std::string& root, const std::string& discInfoPath, std::vector<CDiscBook>& books);
