#pragma once

#include <Qt>

// The item roles through which the main window reads the rows of the list's model, whichever
// store produces them.
namespace center {

enum ListRole : int {
    kSortRole = Qt::UserRole + 1,         // the raw value a header click sorts by
    kPathRole = Qt::UserRole + 2,         // the file a row stands for (key file, encrypted file, archive)
    kFilterRole = Qt::UserRole + 3,       // the text the filter field searches: name, e-mail, path
    kKeyTextRole = Qt::UserRole + 4,      // a key row's envelope text, as export shows it
    kKeyFileRole = Qt::UserRole + 5,      // an encrypted file's key file, empty for a password
    kNeedsKeyFileRole = Qt::UserRole + 6, // true when the file is encrypted with a key file
};

} // namespace center
