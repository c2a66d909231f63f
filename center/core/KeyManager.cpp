#include "center/core/KeyManager.h"

#include "center/core/CipherNames.h"
#include "center/core/HeaderBytes.h"
#include "center/core/KeyRecords.h"
#include "center/core/StoreWindows.h"
#include "corecrypt/KeyRing.h"
#include "corecrypt/QMException.h"
#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "platform/Clock.h"
#include "platform/DirectoryListing.h"
#include "platform/FileIo.h"
#include "platform/XdgPaths.h"
#include "shellkit/KeyRings.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace center {
namespace {

constexpr std::size_t kMaxExceptionText = 2000;

// A message with its "%s" places filled in order. Paths and texts from files may hold anything,
// so they are never read as a format.
std::string Fill(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && arg != args.end()) {
            out.append(*arg++);
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class Descriptor {
public:
    explicit Descriptor(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

CQMException CannotOpen(const std::string& path, int error) {
    return CQMException(CQMException::kCannotOpen, path, std::strerror(error));
}
CQMException ReadFailure(const std::string& path) {
    return CQMException(CQMException::kReadFailure, path, "The file ends before its header does.");
}
CQMException WrongVersion() {
    return CQMException(CQMException::kWrongHeaderVersion, "Wrong version of file header.");
}

// One header byte at the offset its version gives.
std::uint8_t ReadHeaderByte(const std::string& path, std::size_t (*offset)(std::uint8_t)) {
    Descriptor file(path);
    if (file.get() < 0)
        throw CannotOpen(path, errno);
    const std::uint8_t version = CKeyManager::ReadVerH(file.get());
    if (version != 40 && version != 41)
        throw WrongVersion();
    std::uint8_t byte = 0;
    if (!platform::ReadAllAt(file.get(), &byte, 1, static_cast<off_t>(offset(version))))
        throw ReadFailure(path);
    return byte;
}

// Calls `onFile(path, size)` for each file below `start` whose extension (the text after the
// last dot, lower-cased) is one of `extensions`, depth first. Links to folders are not followed;
// a folder that cannot be listed is reported once. False when the continue flag stopped the walk.
// The walk stays on this thread: folders are small, and handing each one over between threads
// costs more than listing it.
template <class OnFile, class OnUnlisted>
bool Search(const std::string& start, const char* mask, std::initializer_list<std::string_view> extensions,
            KMProgress& progress, const std::function<void(KMProgress&)>& notify, OnFile&& onFile,
            OnUnlisted&& onUnlisted) {
    std::vector<std::string> coming{start.empty() || start.back() != '/' ? start + "/" : start};
    std::vector<platform::FindData> entries;
    std::string error;
    while (!coming.empty()) {
        if (!progress.nContinue)
            return false;
        const std::string folder = std::move(coming.back());
        coming.pop_back();
        ++progress.nFolders;
        notify(progress);
        entries.clear();
        if (!platform::ListDirectoryMatching(folder, mask, entries, error)) {
            onUnlisted(folder);
            continue;
        }
        const std::size_t subfolders = coming.size();
        for (const platform::FindData& entry : entries) {
            if (entry.isDirectory) {
                if (!entry.isSymlink)
                    coming.push_back(folder + entry.name + "/");
                continue;
            }
            const auto dot = entry.name.find_last_of('.');
            if (dot == std::string::npos)
                continue;
            std::string extension = entry.name.substr(dot + 1);
            for (char& c : extension)
                c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end())
                continue;
            std::string path = folder + entry.name;
            std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(entry.size, 0));
            if (entry.isSymlink) {
                // A link counts when it leads to a file.
                struct stat st {};
                if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                    continue;
                size = static_cast<std::uint64_t>(st.st_size);
            }
            onFile(path, size);
        }
        // The first subfolder in listing order is walked next.
        std::reverse(coming.begin() + static_cast<std::ptrdiff_t>(subfolders), coming.end());
    }
    return true;
}

template <class Key>
Key* FindById(const std::map<std::uint32_t, std::unique_ptr<Key>>& map, const unsigned char* keyId) {
    for (const auto& [position, key] : map)
        if (std::memcmp(key->GetKeyIDPbyte(), keyId, corecrypt::kAsymmKeyIdSize) == 0)
            return key.get();
    return nullptr;
}

const char kAskErrors[] =
    "One or more errors happened during searching files.\nDo you want to see these errors?";

} // namespace

CKeyManager::CKeyManager(CenterShared& shared) : m_shared(shared) {
    CQMRegistry registry;
    // The default folder is made on first use; a folder the user stored is taken as it is, so
    // that a folder that went missing is reported rather than made anew.
    if (registry.ValueExists(encreg::szKeyFolder))
        registry.ReadStringEx(encreg::szKeyFolder, m_csKeyFolder);
    else
        m_csKeyFolder = misckit::GetKeyFolder();
}

CKeyManager::~CKeyManager() = default;

std::uint8_t CKeyManager::ReadVerH(int fd) {
    if (fd < 0 || ::fcntl(fd, F_GETFD) < 0)
        throw CQMException(CQMException::kGeneral, "CKeyManager::ReadVerH: invalid file handle.");
    std::uint8_t byte = 0;
    if (!platform::ReadAllAt(fd, &byte, 1, 0))
        throw CQMException(CQMException::kReadFailure, "The file's version byte cannot be read.");
    return StoreVersion(byte);
}

std::uint8_t CKeyManager::ReadFlags(const std::string& path) {
    return ReadHeaderByte(path, FlagsOffset);
}

std::uint8_t CKeyManager::ReadAlgMode(const std::string& path) {
    return ReadHeaderByte(path, CodeOffset);
}

void CKeyManager::ReadLocations() {
    CQMRegistry registry(RegRoot::CurrentUser, encreg::szRegKeyman);
    for (int i = 1; i <= 10; ++i) {
        std::string value;
        if (!registry.ReadStringEx("Location " + std::to_string(i), value) || value.empty())
            break;
        m_vLocations.push_back(value);
    }
}

void CKeyManager::RecordError(std::string text) {
    m_bError = true;
    m_vErrors.push_back(std::move(text));
}

void CKeyManager::Notify(KMProgress& progress) {
    if (m_shared.pProgressOwner)
        m_shared.pProgressOwner->OnScanProgress(progress);
}

void CKeyManager::Refresh(KMProgress* progress, bool interactive) {
    m_vErrors.clear();
    m_bError = false;
    ReadLocations();
    if (m_vLocations.empty()) {
        HeadlessStoreWindows headless;
        IStoreWindows& windows = m_shared.pWindows ? *m_shared.pWindows : headless;
        if (!interactive || !windows.EditLocations())
            return;
        ReadLocations();
        if (m_vLocations.empty())
            return;
    }
    KMProgress local;
    KMProgress& counters = progress ? *progress : local;
    counters.nFolders = counters.nUnused = counters.nKeyFiles = counters.nEncryptedFiles = 0;
    FindEncryptedFiles(counters);
    counters.nEncryptedFiles = static_cast<std::uint32_t>(m_mapFiles.size());
    Notify(counters);
    FindKeyFiles(counters, interactive);
    counters.nKeyFiles = static_cast<std::uint32_t>(m_mapKeyFiles.size());
    Notify(counters);
    if (m_bError && interactive &&
        uikit::MessageBox(kAskErrors, misckit::szAppName, uikit::Buttons::YesNo, uikit::Icon::Question) ==
            uikit::Answer::Yes) {
        misckit::ShowErrorList(m_vErrors, "File errors");
        m_vErrors.clear();
    }
}

void CKeyManager::Clear() {
    m_vLocations.clear();
    m_mapKeyIds.clear();
    m_mapKeyFiles.clear();
    m_mapFiles.clear();
    m_vDuplicates.clear();
}

void CKeyManager::FindEncryptedFiles(KMProgress& progress) {
    const auto notify = [this](KMProgress& p) { Notify(p); };
    for (const std::string& location : m_vLocations) {
        if (!progress.nContinue)
            return;
        if (!IsFolder(location)) {
            RecordError(Fill("Location folder is not found: %s", {location}));
            continue;
        }
        Search(
            location, "*.qm?", {"qma", "qmp"}, progress, notify,
            [this](const std::string& path, std::uint64_t size) { AddFoundFile(path, size, false); },
            [this](const std::string& folder) { RecordError(Fill("Could not list folder: %s", {folder})); });
    }
}

void CKeyManager::AddFoundFile(const std::string& path, std::uint64_t size, bool strict) {
    StoreHeader header;
    try {
        Descriptor file(path);
        if (file.get() < 0)
            throw CannotOpen(path, errno);
        std::uint8_t bytes[kStoreHeaderBytes];
        const ssize_t got = platform::ReadAll(file.get(), bytes, sizeof bytes);
        switch (got < 0 ? HeaderOutcome::ReadFailure
                        : ParseStoreHeader(bytes, static_cast<std::size_t>(got), header)) {
        case HeaderOutcome::Ok:
            break;
        case HeaderOutcome::ReadFailure:
            throw ReadFailure(path);
        case HeaderOutcome::WrongVersion:
            throw WrongVersion();
        case HeaderOutcome::KeyIdMissing:
            RecordError(Fill("Cannot read key file: %s", {path}));
            return;
        }
    } catch (const CUIException& e) {
        if (strict)
            throw;
        RecordError(Fill("Error while reading the file %s: %s",
                         {path, std::string_view(e.GetReportText()).substr(0, kMaxExceptionText)}));
        return;
    }
    if (m_mapFiles.count(path))
        return; // reached again through an overlapping location
    auto record = std::make_unique<KMFileInfo>();
    record->SetPath(path);
    record->SetSize(size);
    record->m_bKeyFile = header.keyFile ? 1 : 0;
    record->m_sKeyId = header.keyId;
    DescribeCipher(header.code, record->m_csAlgorithm, record->m_csMode);
    m_mapFiles.emplace(path, std::move(record));
    if (header.keyFile)
        m_mapKeyIds.emplace(header.keyId, path);
}

void CKeyManager::FindKeyFiles(KMProgress& progress, bool interactive) {
    m_vDuplicates.clear();
    if (m_csKeyFolder.empty()) {
        HeadlessStoreWindows headless;
        const KeyFolderChoice choice = (m_shared.pWindows ? *m_shared.pWindows : headless).ChooseKeyFolder();
        if (!choice.confirmed)
            return;
        m_csKeyFolder = choice.folder;
        CQMRegistry().WriteString(encreg::szKeyFolder, m_csKeyFolder);
    }
    if (!IsFolder(m_csKeyFolder)) {
        const std::string text = Fill("Folder with encryption keys is not found:\n%s", {m_csKeyFolder});
        if (interactive)
            uikit::MessageBox(text, misckit::szAppName, uikit::Buttons::OK, uikit::Icon::Warning);
        else
            RecordError(text);
        return;
    }
    Search(
        m_csKeyFolder, "*.qmk", {"qmk"}, progress, [this](KMProgress& p) { Notify(p); },
        [this](const std::string& path, std::uint64_t size) { AddKeyFile(path, size); },
        [this](const std::string& folder) { RecordError(Fill("Could not list folder: %s", {folder})); });
    if (m_vDuplicates.empty())
        return;
    std::sort(m_vDuplicates.begin(), m_vDuplicates.end(), FileKeyLess());
    m_vDuplicates.erase(std::unique(m_vDuplicates.begin(), m_vDuplicates.end()), m_vDuplicates.end());
    if (interactive)
        uikit::MessageBox(DuplicatesWarning(m_vDuplicates), "Error", uikit::Buttons::OK,
                          uikit::Icon::Warning);
}

std::string CKeyManager::DuplicatesWarning(const std::vector<std::string>& duplicates) {
    std::string list;
    for (std::size_t i = 0; i < duplicates.size() && i < 6; ++i)
        list += duplicates[i] + "\r\n";
    if (duplicates.size() > 6)
        list += "More files...\r\n";
    return Fill(
        "The following key files have the same key ID:\r\n%sThis can happen if you accidentally saved "
        "several times in different files one and the same encryption key. It's recommended to "
        "replace these keys with newly generated ones and reencrypt corresponding encrypted files.",
        {list});
}

void CKeyManager::AddKeyFile(const std::string& path, std::uint64_t size) {
    if (m_mapKeyFiles.count(path))
        return; // read by an earlier scan that was not cleared
    std::uint8_t id[kKeyIdBytes];
    {
        Descriptor file(path);
        if (file.get() < 0) {
            RecordError(Fill("Could not open key file: %s", {path}));
            return;
        }
        if (platform::ReadAll(file.get(), id, sizeof id) != static_cast<ssize_t>(sizeof id)) {
            RecordError(Fill("Could not read key file: %s", {path}));
            return;
        }
    }
    auto record = std::make_unique<KMKeyInfo>();
    record->SetPath(path);
    record->SetSize(size);
    record->m_sKeyId.assign(reinterpret_cast<const char*>(id), sizeof id);
    const auto [first, last] = m_mapKeyIds.equal_range(record->m_sKeyId);
    for (auto it = first; it != last; ++it) {
        if (m_mapKeyFiles.count(it->second)) {
            m_vDuplicates.push_back(it->second);
            m_vDuplicates.push_back(path);
            continue;
        }
        const auto file = m_mapFiles.find(it->second);
        if (file == m_mapFiles.end())
            throw CQMException(CQMException::kGeneral, "Unhandled error #1");
        ++record->m_nUsed;
        file->second->m_csKeyFilePath = path; // the key file read last wins
    }
    const std::string keyId = record->m_sKeyId;
    m_mapKeyFiles.emplace(path, std::move(record));
    m_mapKeyIds.emplace(keyId, path);
}

int CKeyManager::AddEncryptedFile(const std::string& path) {
    if (!PathExists(path))
        return 0;
    struct stat st {};
    const std::uint64_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    AddFoundFile(path, size, true);
    return 1;
}

CKeyManager::FileMap::const_iterator CKeyManager::RemoveEncryptedFile(const std::string& path) {
    const auto it = m_mapFiles.find(path);
    if (it == m_mapFiles.end())
        return m_mapFiles.end();
    const KMFileInfo& record = *it->second;
    if (record.m_bKeyFile && !record.m_csKeyFilePath.empty()) {
        const auto key = m_mapKeyFiles.find(record.m_csKeyFilePath);
        if (key != m_mapKeyFiles.end() && key->second->m_nUsed > 0)
            --key->second->m_nUsed;
    }
    if (record.m_bKeyFile) {
        const auto [first, last] = m_mapKeyIds.equal_range(record.m_sKeyId);
        for (auto entry = first; entry != last; ++entry) {
            if (entry->second == record.GetPath()) {
                m_mapKeyIds.erase(entry);
                break;
            }
        }
    }
    return m_mapFiles.erase(it);
}

bool CKeyManager::MoveEncryptedFile(const std::string& from, const std::string& to) {
    const auto it = m_mapFiles.find(from);
    if (it == m_mapFiles.end() || m_mapFiles.count(to))
        return false;
    auto copy = std::make_unique<KMFileInfo>(*it->second);
    copy->SetPath(to);
    RemoveEncryptedFile(from);
    if (copy->m_bKeyFile) {
        m_mapKeyIds.emplace(copy->m_sKeyId, to);
        // Removing the old record gave back its count; the same file still needs the key.
        if (!copy->m_csKeyFilePath.empty())
            if (const auto key = m_mapKeyFiles.find(copy->m_csKeyFilePath); key != m_mapKeyFiles.end())
                ++key->second->m_nUsed;
    }
    m_mapFiles.emplace(to, std::move(copy));
    return true;
}

bool CKeyManager::UpdateFileSize(const std::string& path) {
    const auto it = m_mapFiles.find(path);
    struct stat st {};
    if (it == m_mapFiles.end() || ::stat(path.c_str(), &st) != 0)
        return false;
    it->second->SetSize(static_cast<std::uint64_t>(st.st_size));
    return true;
}

bool CKeyManager::RemoveKeyFile(const std::string& path) {
    const auto it = m_mapKeyFiles.find(path);
    if (it == m_mapKeyFiles.end())
        return false;
    const auto [first, last] = m_mapKeyIds.equal_range(it->second->m_sKeyId);
    for (auto entry = first; entry != last; ++entry) {
        if (entry->second == path) {
            m_mapKeyIds.erase(entry);
            break;
        }
    }
    m_mapKeyFiles.erase(it);
    return true;
}

const KMKeyInfo* CKeyManager::FindKeyFile(const std::string& path) const {
    const auto it = m_mapKeyFiles.find(path);
    return it == m_mapKeyFiles.end() ? nullptr : it->second.get();
}

const KMFileInfo* CKeyManager::FindEncryptedFile(const std::string& path) const {
    const auto it = m_mapFiles.find(path);
    return it == m_mapFiles.end() ? nullptr : it->second.get();
}

template <class Key>
bool CKeyManager::LoadRing(bool isPrivate, std::map<std::uint32_t, std::unique_ptr<Key>>& map) {
    map.clear();
    std::vector<std::unique_ptr<Key>> slots(corecrypt::kRingSlots);
    char text[2000] = "";
    std::string ring;
    if (!(isPrivate ? shellkit::GetPrivKeyFileName : shellkit::GetPubKeyFileName)(ring, text, sizeof text) ||
        ring.empty())
        return false;
    const auto slash = ring.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : ring.substr(0, slash);
    std::string error;
    if (!folder.empty() && !IsFolder(folder) && !platform::MakeFolders(folder, 0700, error)) {
        uikit::MessageBox(Fill(isPrivate
                                   ? "Cannot create directory for the private key file: %s\nPlease check "
                                     "your \"Paths\" settings in the Encryption Preferences."
                                   : "Cannot create directory for the public key file: %s\nPlease check "
                                     "your \"Paths\" settings in the Encryption Preferences.",
                               {error}),
                          "Error", uikit::Buttons::OK, uikit::Icon::Warning);
        return false;
    }
    if (!PathExists(ring)) {
        const int fd = ::open(ring.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    // A ring in the earlier layout is converted once, then read again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            int result = 0;
            if constexpr (std::is_same_v<Key, CPrivateKey>)
                result = LoadPrivateKeyRing(slots, ring.c_str(), text, sizeof text);
            else
                result = LoadPublicKeyRing(slots, ring.c_str(), text, sizeof text);
            if (result < 0) {
                uikit::MessageBox(text, misckit::szAppName, uikit::Buttons::OK, uikit::Icon::Warning);
                return false;
            }
            for (auto& slot : slots) {
                if (!slot)
                    break;
                const std::uint32_t position = slot->m_nRingPos;
                map[position] = std::move(slot);
            }
            return true;
        } catch (const CUIException& e) {
            if (e.GetCode() != corecrypt::kOldRingFormatCode || attempt > 0) {
                map.clear();
                uikit::MessageBox("Error during reading public/private keys files.", misckit::szAppName,
                                  uikit::Buttons::OK, uikit::Icon::Warning);
                return false;
            }
            if (!shellkit::HandleOldVersionOfPKFiles())
                return false;
            slots.clear();
            slots.resize(corecrypt::kRingSlots);
        }
    }
    return false;
}

bool CKeyManager::LoadPubKeys() {
    return LoadRing(false, m_mapPubKeys);
}

bool CKeyManager::LoadPrivKeys() {
    return LoadRing(true, m_mapPrivKeys);
}

bool CKeyManager::ReloadKeys() {
    if (!LoadPubKeys() || !LoadPrivKeys())
        return false;
    const std::int64_t now = platform::Now();
    for (auto& [position, key] : m_mapPubKeys) {
        if (key->GetExpireTime() != 0 && key->GetExpireTime() < now)
            key->m_nStatus = corecrypt::kStatusExpired;
        else if (FindPrivKey(key->GetKeyIDPbyte()))
            key->m_nStatus = corecrypt::kStatusOwn;
    }
    return true;
}

CPublicKey* CKeyManager::FindPubKey(const unsigned char* keyId) const {
    return FindById(m_mapPubKeys, keyId);
}

CPrivateKey* CKeyManager::FindPrivKey(const unsigned char* keyId) const {
    return FindById(m_mapPrivKeys, keyId);
}

int CKeyManager::DeleteKey(std::uint32_t position) {
    const std::uint8_t kind = m_shared.nNavigationKind;
    if (kind != 1 && kind != 2)
        return 0;
    const bool isPrivate = kind == 2;
    const CAsymmKey* key = nullptr;
    if (isPrivate) {
        const auto it = m_mapPrivKeys.find(position);
        key = it == m_mapPrivKeys.end() ? nullptr : it->second.get();
    } else {
        const auto it = m_mapPubKeys.find(position);
        key = it == m_mapPubKeys.end() ? nullptr : it->second.get();
    }
    if (!key) {
        uikit::MessageBox("KeyManager: unhandled error: #1", misckit::szAppName);
        return 0;
    }
    unsigned char keyId[corecrypt::kAsymmKeyIdSize];
    std::memcpy(keyId, key->GetKeyIDPbyte(), sizeof keyId);
    const CAsymmKey* other =
        isPrivate ? static_cast<const CAsymmKey*>(FindPubKey(keyId)) : FindPrivKey(keyId);
    const bool pair = other && other->m_nRingPos != corecrypt::kNoRingPosition;
    const std::uint32_t otherPosition = pair ? other->m_nRingPos : 0;
    const char* question =
        pair ? "This public key is your own and has a private key associated with it. If you delete this key "
               "pair you will not be able to decrypt data encrypted with it.\nClick \"Yes\" to proceed or "
               "\"No\" to cancel."
             : "If you delete this public key, you will not be able to send encrypted data to the key's "
               "owner.\nClick \"Yes\" to proceed or \"No\" to cancel.";
    if (uikit::MessageBox(question, misckit::szAppName, uikit::Buttons::YesNo, uikit::Icon::Question) !=
        uikit::Answer::Yes)
        return 0;

    bool deleted = true;
    char text[2000] = "";
    std::string ring;
    // Deletes from one ring; a routine's failure is shown, and nothing is reported as deleted.
    const auto remove = [&](bool privateRing, std::uint32_t at) {
        text[0] = '\0';
        const int ok =
            (privateRing ? DeletePrivateKey : DeletePublicKey)(at, keyId, ring.c_str(), text, sizeof text);
        if (!ok) {
            deleted = false;
            uikit::MessageBox(text, "Error", uikit::Buttons::OK, uikit::Icon::Warning);
        }
    };
    const auto ringPath = [&](bool privateRing) {
        ring.clear();
        return (privateRing ? shellkit::GetPrivKeyFileName : shellkit::GetPubKeyFileName)(ring, text,
                                                                                          sizeof text) &&
               !ring.empty();
    };
    if (!ringPath(isPrivate))
        return isPrivate ? 0 : -1;
    remove(isPrivate, position);
    if (pair) {
        if (!ringPath(!isPrivate))
            return 0;
        remove(!isPrivate, otherPosition);
    }
    const bool reloaded = ReloadKeys();
    return reloaded && deleted ? 1 : 0;
}

} // namespace center
