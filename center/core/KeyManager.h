#pragma once

// The control center's key store: the secret key files of the key folder, the encrypted files
// and archives below the user's locations (read only as far as their headers tell which key
// and cipher they need), and the keys of the two rings. One store lives for the whole program
// (CCenterState); views read it directly and commands call its operations.
//
// Paths are kept in the order of their bytes after ASCII lower-casing, ties broken by the exact
// bytes, so two paths that differ only in case are two records. Key IDs are 16 raw bytes,
// compared whole.
//
// Everything runs on the user-interface thread. The scan walks folders with a helper thread
// that lists ahead; it is joined before each walk returns.

#include "corecrypt/AsymmKey.h"
#include "tasks/manager/TaskManager.h" // FileKeyLess: the order of paths

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class KMKeyInfo;
class KMFileInfo;

namespace center {

class IStoreWindows;

// The progress record of a scan: four counters and the continue flag. The folder counter grows
// as the search enters folders; the key-file and encrypted-file counters are filled in after
// each half. Clearing nContinue stops the scan at the next folder, keeping what it found.
struct KMProgress {
    std::uint32_t nFolders = 0;
    std::uint32_t nUnused = 0; // stays 0
    std::uint32_t nKeyFiles = 0;
    std::uint32_t nEncryptedFiles = 0;
    int nContinue = 1;
};

// Whoever shows a scan's progress (the "searching" window). Called synchronously on every
// folder and after each half of the scan; it may pump the user-interface events and clear the
// continue flag.
class IScanProgressOwner {
public:
    virtual ~IScanProgressOwner() = default;
    virtual void OnScanProgress(KMProgress& progress) = 0;
};

// The selection and windows the store shares with the rest of the control center: the
// navigation kind (DeleteKey reads it), the progress owner, and the seam to the windows that a
// scan may open. Owned by CCenterState; tests make their own.
struct CenterShared {
    // 0 secret keys, 1 public keys, 2 private keys, 3 all encrypted files, 4 encrypted files of
    // one folder, 5 the task list's files, 6 the schedule's tasks.
    std::uint8_t nNavigationKind = 0;
    IScanProgressOwner* pProgressOwner = nullptr; // set only while a scan's window is open
    IStoreWindows* pWindows = nullptr;            // null: the headless answers (Cancel)
};

class CKeyManager {
public:
    template <class Record>
    using PathMap = std::map<std::string, std::unique_ptr<Record>, FileKeyLess>;
    using KeyFileMap = PathMap<KMKeyInfo>;
    using FileMap = PathMap<KMFileInfo>;
    using PublicKeyMap = std::map<std::uint32_t, std::unique_ptr<CPublicKey>>;
    using PrivateKeyMap = std::map<std::uint32_t, std::unique_ptr<CPrivateKey>>;
    // Key ID (16 raw bytes) to the path of an encrypted file or key file that has it.
    using KeyIdIndex = std::multimap<std::string, std::string>;

    // Reads the key folder from the settings; a key folder stored as the empty text stays
    // empty, and the first key scan then asks for one.
    explicit CKeyManager(CenterShared& shared);
    virtual ~CKeyManager();
    CKeyManager(const CKeyManager&) = delete;
    CKeyManager& operator=(const CKeyManager&) = delete;

    // The version byte of an open file (descriptor), read without moving the file position; 20
    // or less reads as 30. Throws CQMException code 0 for an invalid descriptor, code 6 when the
    // byte cannot be read.
    static std::uint8_t ReadVerH(int fd);
    // The flags byte and the algorithm-mode code of an encrypted file. Throw CQMException: code 3
    // (cannot open, with the path), 53 (a version other than 40 and 41), 6 (read failure, with
    // the path).
    static std::uint8_t ReadFlags(const std::string& path);
    static std::uint8_t ReadAlgMode(const std::string& path);

    // Appends the stored "Location 1" ... "Location 10", up to the first one missing or empty.
    void ReadLocations();

    // The whole scan: locations (asking for them when none are stored), encrypted files, key
    // files, then the offer to show the errors. With `interactive` false nothing is asked or
    // shown: the error question is answered No, and the duplicates warning and a missing key
    // folder are left to the caller (GetDuplicates, GetErrors). `progress` may be null.
    void Refresh(KMProgress* progress = nullptr, bool interactive = true);
    // Empties the locations, the key files, the encrypted files and the key-ID index; the rings'
    // keys stay.
    void Clear();
    void FindEncryptedFiles(KMProgress& progress);
    void FindKeyFiles(KMProgress& progress, bool interactive = true);

    // Adds one newly written encrypted file; 0 when the path does not exist. Header read failures
    // throw (CQMException); a missing key ID is recorded as an error.
    int AddEncryptedFile(const std::string& path);
    // Removes one encrypted file; the position after it (end() when the path is not listed).
    FileMap::const_iterator RemoveEncryptedFile(const std::string& path);
    // Enters the record of an encrypted file under `to` (the file was renamed there): a copy that
    // keeps its key ID and key-file link, indexed again and still counted for its key file. False
    // when `from` is not listed or `to` already is.
    bool MoveEncryptedFile(const std::string& from, const std::string& to);
    // Reads the size of a listed encrypted file again; false when the file cannot be read.
    bool UpdateFileSize(const std::string& path);
    // Removes a key file's record and its key-ID index entry. The encrypted files it opened keep
    // their link until the next scan. False when the path is not listed.
    bool RemoveKeyFile(const std::string& path);

    // The rings. Each failure but a missing ring path is shown; the map that failed stays empty.
    bool LoadPubKeys();
    bool LoadPrivKeys();
    // Both rings, then the derived statuses: an expired public key gets status 4, one with a
    // private key of the same ID status 3.
    bool ReloadKeys();
    // Deletes the public (navigation kind 1) or private (kind 2) key at `position`, as a pair when
    // the other ring holds the same key ID, after asking. 1 deleted and rings reloaded; 0 nothing
    // deleted or a reload failure; -1 when no public ring path is set.
    int DeleteKey(std::uint32_t position);
    CPublicKey* FindPubKey(const unsigned char* keyId) const;
    CPrivateKey* FindPrivKey(const unsigned char* keyId) const;

    const KeyFileMap& GetKeyFiles() const { return m_mapKeyFiles; }
    const FileMap& GetEncryptedFiles() const { return m_mapFiles; }
    const PublicKeyMap& GetPubKeys() const { return m_mapPubKeys; }
    const PrivateKeyMap& GetPrivKeys() const { return m_mapPrivKeys; }
    const KeyIdIndex& GetKeyIdIndex() const { return m_mapKeyIds; }
    const KMKeyInfo* FindKeyFile(const std::string& path) const;
    const KMFileInfo* FindEncryptedFile(const std::string& path) const;
    const std::string& GetKeyFolder() const { return m_csKeyFolder; }
    const std::vector<std::string>& GetLocations() const { return m_vLocations; }
    bool HasErrors() const { return m_bError; }
    const std::vector<std::string>& GetErrors() const { return m_vErrors; }
    // The key files of the last key scan that share a key ID with another: sorted in path order,
    // exact repeats dropped.
    const std::vector<std::string>& GetDuplicates() const { return m_vDuplicates; }
    // The warning the key scan shows for those (first six paths, then "More files...").
    static std::string DuplicatesWarning(const std::vector<std::string>& duplicates);

private:
    void RecordError(std::string text);
    void Notify(KMProgress& progress);
    // Reads one found encrypted file; with `strict` (AddEncryptedFile) header faults throw.
    void AddFoundFile(const std::string& path, std::uint64_t size, bool strict);
    void AddKeyFile(const std::string& path, std::uint64_t size);
    template <class Key>
    bool LoadRing(bool isPrivate, std::map<std::uint32_t, std::unique_ptr<Key>>& map);

    CenterShared& m_shared;
    KeyIdIndex m_mapKeyIds;
    KeyFileMap m_mapKeyFiles;
    FileMap m_mapFiles;
    PublicKeyMap m_mapPubKeys;
    PrivateKeyMap m_mapPrivKeys;
    std::string m_csKeyFolder;
    std::vector<std::string> m_vLocations;
    bool m_bError = false;
    std::vector<std::string> m_vErrors;
    std::vector<std::string> m_vDuplicates;
};

} // namespace center
