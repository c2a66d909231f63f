#pragma once

#include <string>
#include <vector>

// The File mask text of file tasks, |m1|m2|...|, as the file mask window edits it: a list of file
// types (masks "*.ext") and of other search criteria.
namespace filemask {

// The masks of a File mask text, in order, each in lower case; empty pieces are skipped.
std::vector<std::string> Split(const std::string& text);
// A mask that begins with "*." and holds no other "*" and no "?": a file type.
bool IsFileType(const std::string& mask);
// The extension of a file type mask ("*.doc" gives "doc").
std::string Extension(const std::string& mask);

// Adds |mask| (lower case) to the text. False, and the text unchanged, when it is already there.
bool Add(std::string& text, const std::string& mask);
// Removes |mask| from the text, keeping one "|" between neighbours; a text left as "|" becomes
// empty. Throws CUIException with `notFound` when the mask is not in the text.
void Remove(std::string& text, const std::string& mask, const char* notFound);

// The text built from the chosen extensions (each with its leading "."), in order and in lower
// case: |*.doc|*.txt|; empty for none.
std::string FromExtensions(const std::vector<std::string>& extensions);

} // namespace filemask
