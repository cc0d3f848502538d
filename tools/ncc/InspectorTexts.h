// The inspector's Dutch words, in one place; the texts of the book and
// check floors it shows come from those floors.
#pragma once

#include <cstddef>
#include <string>

namespace ncc::text {

std::string Title(const std::string& title);
std::string MetaCount(std::size_t count);
std::string Meta(const std::string& name, const std::string& content);
std::string NoFolderName();
std::string FolderNameTooLong();
std::string FolderName(const std::string& name, bool shortened);
std::string Folder(const std::string& path);
std::string NccUnreadable();
std::string PackageUnreadable(const std::string& reason);
std::string DiscInfoUnreadable(const std::string& reason);
std::string SkippedLink(const std::string& link);
std::string BookCount(std::size_t count);
std::string ListedBook(std::size_t number, const std::string& name, const std::string& bookFile);
std::string ListedBookNotFound();
std::string ListedBookUnreadable();
std::string BookWhole();
std::string Usage();

} // namespace ncc::text
