#pragma once

#include <functional>
#include <string>
#include <vector>

// The work behind the encryption wizard: files and folders encrypted one by one into ".qmp" files
// beside them, or together into one archive, then wiped when asked. Headless, so that it is tested
// without a window.
namespace shellkit {

struct EncryptionPlan {
    std::vector<std::string> sources; // files and folders
    std::string key;                  // the password, or the key file's path
    bool keyFile = false;
    int algorithmMode = 0; // 1..40; 0 the default
    bool compress = true;
    bool wipe = false;
    int wipeRounds = 3;
    bool toArchive = false;
    std::string archive; // with toArchive
};

struct EncryptionOutcome {
    std::vector<std::string> written;  // the encrypted files, or the archive
    std::vector<std::string> failures; // "path: reason"
    bool cancelled = false;
};

// Called before each file with its path, the files done and the total; false cancels. Keeps the
// windows answering in between.
using EncryptionProgress = std::function<bool(const std::string& current, int done, int total)>;

// Runs the plan. Originals are wiped only after every file was encrypted, so a run that fails or is
// cancelled never loses a file. A cancelled run removes what it wrote: no encrypted file and no new
// archive is left half-done or partly made; an archive that existed before keeps its old contents.
EncryptionOutcome RunEncryption(const EncryptionPlan& plan, const EncryptionProgress& progress);

} // namespace shellkit
