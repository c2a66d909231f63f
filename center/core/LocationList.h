#pragma once

#include <string>
#include <vector>

// The folders that the store scan searches for encrypted files: at most ten, each ending in "/",
// none inside another. Kept as "Location 1" to "Location 10" under the control center's settings.
namespace center {

inline constexpr std::size_t kMaxLocations = 10;

// Adds `path` (given a final "/" when it lacks one) to `locations`. A listed folder that lies
// inside the new one is dropped, since the new one covers it. False with the message to show when
// the path is listed already, lies inside a listed folder, or the list is full; `locations` is
// then unchanged. Paths are compared exactly: two folders whose names differ only in letter case
// are two folders here.
bool AddLocation(std::vector<std::string>& locations, std::string path, std::string& message);

// The message for an eleventh location, shown before any folder is asked for.
inline constexpr const char* kLocationsFull = "10 is the maximal number of the destination items.";

// The stored locations, in order, up to the first empty value.
std::vector<std::string> ReadLocations();
// Writes "Location 1" to "Location 10": the list in order, the empty text for the rest. False
// when a value could not be written.
bool WriteLocations(const std::vector<std::string>& locations);

} // namespace center
