#pragma once

// Which files go into an archive, under which names, and which are stored compressed
// (engine-internal).

#include "corecrypt/Archive.h"

#include <set>
#include <string>
#include <sys/stat.h>

namespace corecrypt::archive {

using Source = ArchiveSource;

// "zip;JPG, *.png .gz" → {"zip", "jpg", "png", "gz"}
std::set<std::string> ParseExtensions(const std::string& text);

bool ShouldCompress(const std::string& path, bool compress, const std::set<std::string>& exceptions);

// Whether `a` names the file `b` describes.
bool SameFile(const std::string& a, const struct stat& b);

} // namespace corecrypt::archive
