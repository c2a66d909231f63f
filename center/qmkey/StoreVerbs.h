#pragma once

#include <string>
#include <vector>

// qmkey's faces of the control center's key store: the locations, the key folder and the scan.
namespace qmkey {

// Stores the folders as "Location 1" ... (clearing the rest), or prints the stored ones.
int Locations(const std::vector<std::string>& folders);
// Stores the key folder, or prints it.
int KeyFolder(const std::vector<std::string>& folder);
// Runs the store's scan without asking anything and prints what it found.
int Scan(bool json);

} // namespace qmkey
