#pragma once

#include <cstdint>
#include <string>

// The key store's records of files: a key file (".qmk") or an encrypted file or archive (".qmp",
// ".qma"). The store owns them; views refer to them by full path.

// What every record has: the full path, the display name (the part after the last "/"), the key
// ID and the size.
class KMInfo {
public:
    KMInfo() = default;
    KMInfo(const KMInfo&) = default;
    KMInfo& operator=(const KMInfo&) = default;
    virtual ~KMInfo();
    virtual void SetSize(std::uint64_t size);

    // Sets the full path and takes the display name from it.
    void SetPath(const std::string& path);
    const std::string& GetPath() const { return m_csPath; }
    const std::string& GetName() const { return m_csName; }

    // The key ID: 16 raw bytes (any byte value, zero included), or empty for none.
    std::string m_sKeyId;
    // The file's size in bytes.
    std::uint64_t m_nSize = 0;

private:
    std::string m_csPath;
    std::string m_csName;
};

// A key file: 16 bytes of key ID, an initialisation block of 8 or 16 bytes, then the key.
class KMKeyInfo : public KMInfo {
public:
    // Also derives the key lengths for 64-bit-block (size - 24) and 128-bit-block ciphers
    // (size - 32), in unsigned 32-bit arithmetic as the lists show them with "%d": a 30-byte key
    // file has a 128-bit-block length of -2.
    void SetSize(std::uint64_t size) override;

    std::uint32_t m_nUsed = 0; // encrypted files found that need this key file
    std::uint32_t m_nSize64 = 0;
    std::uint32_t m_nSize128 = 0;
};

// An encrypted file or archive.
class KMFileInfo : public KMInfo {
public:
    std::uint8_t m_bKeyFile = 0; // 1: encrypted with a key file; 0: with a password
    std::string m_csAlgorithm;
    std::string m_csMode;
    // The full path of the key file that opens this file; empty until a key scan links it.
    std::string m_csKeyFilePath;
};
