// The archive calls of the task runs and the control center's description pane: plain arguments,
// errors into the caller's buffer.

#include "corecrypt/Archive.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/QMException.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

int EncryptIntoArchive(const char* archive, const char*, const std::vector<std::string>& sources,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize,
                       int overwritePolicy, int compress, const char* extensionsNotCompressed, int recurse,
                       CALLBACKSTRUCT_* progress, int algorithmMode, int) {
    if (!archive || !keyOrPassword) {
        corecrypt::SetErrorText(errorText, errorTextSize, "Invalid arguments.");
        return 0;
    }
    corecrypt::ArchiveAddOptions options;
    options.overwrite = overwritePolicy;
    options.compress = compress != 0;
    options.extensionsNotCompressed = extensionsNotCompressed ? extensionsNotCompressed : "";
    options.recurse = recurse != 0;
    options.algorithmMode = algorithmMode;
    options.progress = progress;
    std::string error;
    try {
        if (corecrypt::AddToArchive(archive, sources, keyOrPassword, isKeyFile != 0, options, error))
            return 1;
    } catch (const CQMException& e) {
        error = e.GetReportText();
    }
    corecrypt::SetErrorText(errorText, errorTextSize, error);
    return 0;
}

namespace {

const char* kInvalidArguments = "Invalid arguments.";

void* DefaultAllocate(void*, std::size_t size) {
    return std::malloc(size);
}
void DefaultFree(void*, void* block) {
    std::free(block);
}
constexpr ENTRYHEAP_ kDefaultHeap{DefaultAllocate, DefaultFree, nullptr};

const ENTRYHEAP_& HeapOrDefault(const ENTRYHEAP_* heap) {
    return heap ? *heap : kDefaultHeap;
}

// A null key reads as an empty password, which the engine answers with code 51.
std::string KeyText(const char* keyOrPassword) {
    return keyOrPassword ? keyOrPassword : "";
}

// Runs one engine call for an entry point. The engine's CQMException goes through to the caller;
// anything else thrown (an allocation failure, say) becomes the reason, so no other exception
// leaves the engine. The reason, or an empty text on success, lands in the caller's buffer.
template <class Call>
int RunEntryPoint(char* errorText, int errorTextSize, Call call) {
    corecrypt::SetErrorText(errorText, errorTextSize, "");
    std::string error;
    bool ok = false;
    try {
        ok = call(error);
    } catch (const CQMException&) {
        throw;
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (ok)
        return 1;
    corecrypt::SetErrorText(errorText, errorTextSize, error.empty() ? "The operation failed." : error);
    return 0;
}

// One block: the record, then its path text.
ARCHIVEENTRY_* NewEntry(const ENTRYHEAP_& heap, const corecrypt::ArchiveEntry& e) {
    void* block = heap.pfnAllocate(heap.pContext, sizeof(ARCHIVEENTRY_) + e.path.size() + 1);
    if (!block)
        return nullptr;
    auto* entry = new (block) ARCHIVEENTRY_{};
    char* path = reinterpret_cast<char*>(entry + 1);
    std::memcpy(path, e.path.data(), e.path.size());
    path[e.path.size()] = '\0';
    entry->pszPath = path;
    entry->nSize = e.size;
    entry->tModified = e.modified;
    entry->nModifiedNanos = e.modifiedNanos;
    entry->tAccessed = e.accessed;
    entry->nAccessedNanos = e.accessedNanos;
    return entry;
}

int DecryptEntries(const char* archive, const std::vector<std::string>& entries, const char* folder,
                   const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize,
                   int overwrite, int restoreTimes, CALLBACKSTRUCT_* progress, bool removeExtracted) {
    return RunEntryPoint(errorText, errorTextSize, [&](std::string& error) {
        if (!archive || !folder) {
            error = kInvalidArguments;
            return false;
        }
        // The engine reads no names as every entry; here an emptied selection must not.
        if (entries.empty()) {
            error = "No entries to decrypt were named.";
            return false;
        }
        corecrypt::ArchiveExtractOptions options;
        options.overwrite = overwrite != 0;
        options.restoreTimes = restoreTimes != 0;
        options.removeExtracted = removeExtracted;
        options.progress = progress;
        return corecrypt::ExtractArchive(archive, entries, folder, KeyText(keyOrPassword), isKeyFile != 0,
                                         options, nullptr, error);
    });
}

} // namespace

int ReadArchiveEntries(const ENTRYHEAP_* heap, const char* archive, ARCHIVEENTRY_** slots, int slotCount,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize) {
    if (slots && slotCount > 0)
        slots[0] = nullptr;
    std::vector<corecrypt::ArchiveEntry> entries;
    const int listed = RunEntryPoint(errorText, errorTextSize, [&](std::string& error) {
        if (!archive || !slots || slotCount <= 0 || (heap && (!heap->pfnAllocate || !heap->pfnFree))) {
            error = kInvalidArguments;
            return false;
        }
        return corecrypt::ListArchive(archive, KeyText(keyOrPassword), isKeyFile != 0, entries, error);
    });
    if (!listed)
        return -1;
    const ENTRYHEAP_& h = HeapOrDefault(heap);
    const std::size_t fits = std::min(entries.size(), static_cast<std::size_t>(slotCount) - 1);
    for (std::size_t i = 0; i < fits; ++i) {
        slots[i] = NewEntry(h, entries[i]);
        if (!slots[i]) {
            for (std::size_t j = 0; j < i; ++j)
                FreeArchiveEntry(heap, slots[j]);
            slots[0] = nullptr;
            corecrypt::SetErrorText(errorText, errorTextSize, "Not enough memory to list the archive.");
            return -1;
        }
    }
    slots[fits] = nullptr;
    return static_cast<int>(std::min<std::size_t>(entries.size(), INT_MAX));
}

void FreeArchiveEntry(const ENTRYHEAP_* heap, ARCHIVEENTRY_* entry) {
    const ENTRYHEAP_& h = HeapOrDefault(heap);
    if (entry && h.pfnFree)
        h.pfnFree(h.pContext, entry);
}

int DecryptFromArchive(const char* archive, const std::vector<std::string>& entries, const char* folder,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize,
                       int overwrite, int restoreTimes, CALLBACKSTRUCT_* progress) {
    return DecryptEntries(archive, entries, folder, keyOrPassword, isKeyFile, errorText, errorTextSize,
                          overwrite, restoreTimes, progress, false);
}

int DecryptAndRemoveFromArchive(const char* archive, const std::vector<std::string>& entries,
                                const char* folder, const char* keyOrPassword, int isKeyFile, char* errorText,
                                int errorTextSize, int overwrite, int restoreTimes,
                                CALLBACKSTRUCT_* progress) {
    return DecryptEntries(archive, entries, folder, keyOrPassword, isKeyFile, errorText, errorTextSize,
                          overwrite, restoreTimes, progress, true);
}

int DeleteArchiveEntries(const char* archive, const std::vector<std::string>& entries,
                         const char* keyOrPassword, int isKeyFile, CALLBACKSTRUCT_* progress, char* errorText,
                         int errorTextSize) {
    return RunEntryPoint(errorText, errorTextSize, [&](std::string& error) {
        if (!archive) {
            error = kInvalidArguments;
            return false;
        }
        return corecrypt::DeleteFromArchive(archive, entries, KeyText(keyOrPassword), isKeyFile != 0,
                                            progress, error);
    });
}
