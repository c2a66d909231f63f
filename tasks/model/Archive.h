#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CObject;
struct CRuntimeClass;

// A fault of the byte stream itself: premature end, bad tag or index, unknown class. It ends the
// whole load, unlike the record errors (CUIException) that a record reports on its own.
class CArchiveException : public std::runtime_error {
public:
    explicit CArchiveException(const std::string& text) : std::runtime_error(text) {}
};

// The object stream of schedule files: little-endian numbers, counted texts, counts and tagged
// objects with one reference table for the whole stream. A loading archive reads from bytes it
// does not own; a storing archive collects its output in memory.
class CArchive {
public:
    // A storing archive.
    CArchive();
    // A loading archive over `bytes`, which must outlive it.
    explicit CArchive(std::string_view bytes);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsLoading() const { return m_loading; }
    bool IsStoring() const { return !m_loading; }

    // Storing: what was written so far.
    const std::string& GetData() const { return m_out; }
    // Loading: bytes not yet read.
    std::size_t Remaining() const { return m_in.size() - m_pos; }
    bool AtEnd() const { return m_pos == m_in.size(); }

    void Write(const void* data, std::size_t size);
    // Throws CArchiveException when fewer than `size` bytes remain.
    void Read(void* data, std::size_t size);
    // Throws unless `size` more bytes remain; readers call it before they allocate.
    void Require(std::size_t size) const;

    CArchive& operator<<(std::uint8_t v);
    CArchive& operator<<(std::uint16_t v);
    CArchive& operator<<(std::uint32_t v);
    CArchive& operator<<(std::int32_t v);
    CArchive& operator<<(std::int64_t v);
    CArchive& operator<<(std::uint64_t v);
    CArchive& operator>>(std::uint8_t& v);
    CArchive& operator>>(std::uint16_t& v);
    CArchive& operator>>(std::uint32_t& v);
    CArchive& operator>>(std::int32_t& v);
    CArchive& operator>>(std::int64_t& v);
    CArchive& operator>>(std::uint64_t& v);

    // Reads or writes a number, as the archive's direction says.
    void Exchange(std::int32_t& v) { IsStoring() ? (void)(*this << v) : (void)(*this >> v); }
    void Exchange(std::int64_t& v) { IsStoring() ? (void)(*this << v) : (void)(*this >> v); }

    // A list count: a word below 0xFFFF, else 0xFFFF and a 32-bit count.
    void WriteCount(std::uint32_t count);
    std::uint32_t ReadCount();

    // Counted text: one-byte, three-byte or seven-byte length prefix, then the bytes.
    void WriteCountedText(std::string_view text);
    // Also accepts the 64-bit length form and the wide (UTF-16LE) form, converted to UTF-8.
    std::string ReadCountedText();

    // Tagged objects. The stored object is written once; the archive remembers it, so a second
    // WriteObject of it writes a reference.
    void WriteObject(const CObject* object);
    // Returns the object read (null for an absent element). Objects made here belong to the
    // archive until TakeCreatedObjects(), so a failed load leaks nothing; a reference to an
    // earlier object returns that same object again.
    CObject* ReadObject();
    std::vector<std::unique_ptr<CObject>> TakeCreatedObjects();

    // The schema number that came with the class of the object being read.
    unsigned GetObjectSchema() const { return m_currentSchema; }

private:
    struct LoadEntry {
        const CRuntimeClass* cls = nullptr; // a class description ...
        unsigned schema = 0;
        CObject* object = nullptr; // ... or an object
    };

    std::uint32_t ReadStringLength(bool& wide);
    void WriteClass(const CRuntimeClass* cls);
    const LoadEntry& ReadClass(std::uint32_t tag, std::uint16_t word);

    bool m_loading;
    std::string_view m_in;
    std::size_t m_pos = 0;
    std::string m_out;

    // Store side: index of each class and object already written.
    std::unordered_map<const void*, std::uint32_t> m_storeMap;
    // Load side: entry 0 is "no object".
    std::vector<LoadEntry> m_loadTable;
    std::uint32_t m_nextIndex = 1;
    std::vector<std::unique_ptr<CObject>> m_created;
    unsigned m_currentSchema = 0;
};
