#pragma once

// Encrypted archives (".qma"): many files under one password or key file.
//
// Layout: the 96-byte header of an encrypted file (bytes 1-4 "QMPA"), then one chunk stream per
// entry, then the directory stream, then a 24-byte trailer (u64 directory offset, u64 directory
// length, "QMPAEND1"). Every stream is a chunk stream as in an encrypted file, under keys and an
// IV of its own that the master key expands to with the stream's 16-byte ID, so a stream moved
// to another entry or another archive fails verification. The directory (entry paths, sizes,
// times, stream positions and IDs) is one such stream with an all-zero ID: listing reads only
// the header, the trailer and the directory.
//
// Overwrite policies for entries that already exist in the archive under the same path:
//   0 keep the entry (the file is not added), 1 replace it, 2 replace it when the file is newer
//   than the entry, 3 ask the user through uikit (callers running unattended pass 0 instead).
//
// Codes thrown as CQMException: 51 a password is needed and none was given, 55 the password or
// key file is wrong, 57 the operation would leave the archive without entries.

#include "corecrypt/CallbackStruct.h"
#include "platform/RegularFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corecrypt {

constexpr int kArchivePasswordNeeded = 51;
constexpr int kArchiveWrongKey = 55;
constexpr int kArchiveNoEntriesLeft = 57;

enum ArchiveOverwrite { kKeepEntry = 0, kReplaceEntry = 1, kReplaceOlderEntry = 2, kAskEntry = 3 };

struct ArchiveEntry {
    std::string path; // relative, with '/'
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::uint32_t modifiedNanos = 0;
    std::int64_t accessed = 0;
    std::uint32_t accessedNanos = 0;
    bool compressed = false;
    // Where its stream lies.
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint8_t stream[16] = {};
};

// A file that AddToArchive put into the archive, and whether it was read back: the written
// archive lists its entry and the entry decrypts to the file's present bytes (`snapshot`: the file
// as it was compared). Only such a file may be removed.
struct AddedSource {
    std::string path;
    std::string entry;
    platform::FileSnapshot snapshot;
    bool verified = false;
    std::string error;
};

struct ArchiveAddOptions {
    int overwrite = kKeepEntry;
    bool compress = true;
    std::string extensionsNotCompressed; // "zip;jpg, *.png" and the like
    bool recurse = true;                 // add the contents of folders' subfolders too
    int algorithmMode = 0;               // for a new archive; 0 the default
    CALLBACKSTRUCT_* progress = nullptr;
    // When given: receives every file added, read back once the archive was written. A file that
    // is not listed here (its entry was kept, or it repeated an entry name) was not added.
    std::vector<AddedSource>* added = nullptr;
};

struct ArchiveSource {
    std::string path;  // on disk
    std::string entry; // in the archive
};

// The files that `sources` stand for and their entry names: a file's name, or a folder's name
// followed by the path below it. A source path holding "/./" names its entry by what follows,
// as in "/home/me/./docs/a.txt" for "docs/a.txt". A link to a file stands for that file; a link
// to a folder is never followed, given or met below a folder. Those, and anything below a folder
// that is no regular file, are passed over and listed in `skipped` when given.
bool CollectArchiveSources(const std::vector<std::string>& sources, bool recurse,
                           std::vector<ArchiveSource>& out, std::string& error,
                           std::vector<std::string>* skipped = nullptr);

// Adds files and folders' files to `archive`, creating it when missing. A changed archive is
// written beside the old one and replaces it only when complete. `added` counts the files added.
bool AddToArchive(const std::string& archive, const std::vector<std::string>& sources,
                  const std::string& keyOrPassword, bool keyFile, const ArchiveAddOptions& options,
                  std::string& error, int* added = nullptr);

// The entries, in archive order. Throws CQMException 51 or 55; false with a reason otherwise.
bool ListArchive(const std::string& archive, const std::string& keyOrPassword, bool keyFile,
                 std::vector<ArchiveEntry>& entries, std::string& error);

struct ArchiveExtractOptions {
    bool overwrite = false;
    bool restoreTimes = true;
    bool removeExtracted = false; // decrypt-and-remove: take the extracted entries out
    CALLBACKSTRUCT_* progress = nullptr;
};

// Extracts the named entries (all when `names` is empty) into `folder`. Names that would land
// outside it (absolute, "..", through a symbolic link) are refused. `written` receives the
// files written. Throws 51/55, and 57 when decrypt-and-remove would empty the archive.
bool ExtractArchive(const std::string& archive, const std::vector<std::string>& names,
                    const std::string& folder, const std::string& keyOrPassword, bool keyFile,
                    const ArchiveExtractOptions& options, std::vector<std::string>* written,
                    std::string& error);

// Removes the named entries. Throws 51/55, and 57 when no entry would be left.
bool DeleteFromArchive(const std::string& archive, const std::vector<std::string>& names,
                       const std::string& keyOrPassword, bool keyFile, CALLBACKSTRUCT_* progress,
                       std::string& error);

// A relative path with '/' that stays below the folder it is extracted into.
bool ValidEntryPath(const std::string& path);

// Parses an archive held in memory, for the fuzz targets: the directory, and when `extract`
// each entry's verified bytes (discarded). False with a reason for anything damaged.
bool CheckArchiveBytes(const std::uint8_t* data, std::size_t size, const std::string& keyOrPassword,
                       bool keyFile, const std::uint8_t* keyId, const std::uint8_t* keySecret,
                       std::size_t keySecretSize, bool extract, std::vector<ArchiveEntry>& entries,
                       std::string& error);

} // namespace corecrypt

// The call the task runs use. `empty` is unused ("" by convention); `isKeyFile` says whether
// `keyOrPassword` is a key file. Non-zero when every file was added.
int EncryptIntoArchive(const char* archive, const char* empty, const std::vector<std::string>& sources,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize,
                       int overwritePolicy, int compress, const char* extensionsNotCompressed, int recurse,
                       CALLBACKSTRUCT_* progress, int algorithmMode, int reserved0);

// The entry points the control center's description pane calls. Every key argument may be null,
// which reads as an empty password. They throw CQMException 51 (a password or key file is needed)
// and 55 (it is wrong) so that the caller can ask for a password and call again, and 57 where said;
// any other failure is reported through the return value and `errorText`, which always ends up
// zero-terminated and within `errorTextSize` bytes (the pane passes 1000).

// Where the archive reader allocates the entries it hands out. Null stands for malloc and free.
// `pfnAllocate` returns memory aligned for any object, or null when it has none; a heap lacking
// either function is refused.
struct ENTRYHEAP_ {
    void* (*pfnAllocate)(void* context, std::size_t size);
    void (*pfnFree)(void* context, void* block);
    void* pContext;
};

// One entry as the reader hands it out: a single block with its path text inside, released with
// FreeArchiveEntry and the heap it came from.
struct ARCHIVEENTRY_ {
    const char* pszPath; // relative, '/' between folders, zero-terminated
    std::uint64_t nSize;
    std::int64_t tModified; // seconds since 1970
    std::uint32_t nModifiedNanos;
    std::int64_t tAccessed;
    std::uint32_t nAccessedNanos;
};

// The slots the description pane gives the reader.
constexpr int kArchiveReaderSlots = 100000;

// Fills `slots` from the start with the entries of `archive`, in archive order, and sets the slot
// after the last to null; an archive with more than `slotCount` - 1 entries fills the first
// `slotCount` - 1 slots only, since the last slot stays empty and nothing is written past the
// array. Returns the number of entries the archive holds, more than were placed when they did not
// fit, or -1 with a reason (slot 0 is then null, also when it throws). `isKeyFile` is 1 when
// `keyOrPassword` is a key file path, 0 for a password.
int ReadArchiveEntries(const ENTRYHEAP_* heap, const char* archive, ARCHIVEENTRY_** slots, int slotCount,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize);

// Releases an entry from ReadArchiveEntries to `heap`, the one it was read with; null is ignored.
void FreeArchiveEntry(const ENTRYHEAP_* heap, ARCHIVEENTRY_* entry);

// Decrypts the named entries (the reader's paths, at least one) into `folder`. `overwrite`
// replaces existing files, `restoreTimes` gives the files their entries' times; `progress` is
// called once per entry and stops the run when its continue flag drops. Non-zero on success.
int DecryptFromArchive(const char* archive, const std::vector<std::string>& entries, const char* folder,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize,
                       int overwrite, int restoreTimes, CALLBACKSTRUCT_* progress);

// As DecryptFromArchive, then removes the extracted entries from the archive. Throws 57, with
// the files extracted and the archive left as it was, when no entry would be left in it.
int DecryptAndRemoveFromArchive(const char* archive, const std::vector<std::string>& entries,
                                const char* folder, const char* keyOrPassword, int isKeyFile, char* errorText,
                                int errorTextSize, int overwrite, int restoreTimes,
                                CALLBACKSTRUCT_* progress);

// Removes the named entries (at least one). Non-zero on success; throws 57, leaving the archive
// as it was, when no entry would be left.
int DeleteArchiveEntries(const char* archive, const std::vector<std::string>& entries,
                         const char* keyOrPassword, int isKeyFile, CALLBACKSTRUCT_* progress, char* errorText,
                         int errorTextSize);
