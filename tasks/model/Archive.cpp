#include "tasks/model/Archive.h"

#include "tasks/model/RuntimeClass.h"

#include <QString>
#include <cstring>

namespace {

constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000u;
constexpr std::uint32_t kMaxClassNameLength = 64;
constexpr std::uint64_t kMaxTextLength = 2147483647;

const char kEndOfFile[] = "Unexpected end of the schedule file.";

template <typename T>
void PutLittleEndian(std::string& out, T v) {
    using U = std::make_unsigned_t<T>;
    U u = static_cast<U>(v);
    char bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] = static_cast<char>(u & 0xFF);
        u = static_cast<U>(u >> 8);
    }
    out.append(bytes, sizeof(T));
}

template <typename T>
T GetLittleEndian(const unsigned char* p) {
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (std::size_t i = sizeof(T); i-- > 0;)
        u = static_cast<U>((u << 8) | p[i]);
    return static_cast<T>(u);
}

} // namespace

CArchive::CArchive() : m_loading(false) {}

CArchive::CArchive(std::string_view bytes) : m_loading(true), m_in(bytes) {
    m_loadTable.emplace_back();
}

CArchive::~CArchive() = default;

void CArchive::Write(const void* data, std::size_t size) {
    m_out.append(static_cast<const char*>(data), size);
}

void CArchive::Require(std::size_t size) const {
    if (size > Remaining())
        throw CArchiveException(kEndOfFile);
}

void CArchive::Read(void* data, std::size_t size) {
    Require(size);
    std::memcpy(data, m_in.data() + m_pos, size);
    m_pos += size;
}

#define QM_ARCHIVE_NUMBER(T)                                                                                 \
    CArchive& CArchive::operator<<(T v) {                                                                    \
        PutLittleEndian(m_out, v);                                                                           \
        return *this;                                                                                        \
    }                                                                                                        \
    CArchive& CArchive::operator>>(T& v) {                                                                   \
        Require(sizeof(T));                                                                                  \
        v = GetLittleEndian<T>(reinterpret_cast<const unsigned char*>(m_in.data()) + m_pos);                 \
        m_pos += sizeof(T);                                                                                  \
        return *this;                                                                                        \
    }
QM_ARCHIVE_NUMBER(std::uint8_t)
QM_ARCHIVE_NUMBER(std::uint16_t)
QM_ARCHIVE_NUMBER(std::uint32_t)
QM_ARCHIVE_NUMBER(std::int32_t)
QM_ARCHIVE_NUMBER(std::int64_t)
QM_ARCHIVE_NUMBER(std::uint64_t)
#undef QM_ARCHIVE_NUMBER

void CArchive::WriteCount(std::uint32_t count) {
    if (count < 0xFFFF) {
        *this << static_cast<std::uint16_t>(count);
    } else {
        *this << static_cast<std::uint16_t>(0xFFFF) << count;
    }
}

std::uint32_t CArchive::ReadCount() {
    std::uint16_t word = 0;
    *this >> word;
    if (word != 0xFFFF)
        return word;
    std::uint32_t count = 0;
    *this >> count;
    return count;
}

void CArchive::WriteCountedText(std::string_view text) {
    const std::size_t n = text.size();
    if (n < 0xFF) {
        *this << static_cast<std::uint8_t>(n);
    } else if (n < 0xFFFE) {
        *this << static_cast<std::uint8_t>(0xFF) << static_cast<std::uint16_t>(n);
    } else if (n < 0xFFFFFFFFu) {
        *this << static_cast<std::uint8_t>(0xFF) << static_cast<std::uint16_t>(0xFFFF)
              << static_cast<std::uint32_t>(n);
    } else {
        throw CArchiveException("A text is too long for the schedule file.");
    }
    Write(text.data(), n);
}

std::uint32_t CArchive::ReadStringLength(bool& wide) {
    wide = false;
    std::uint8_t byte = 0;
    *this >> byte;
    if (byte < 0xFF)
        return byte;
    std::uint16_t word = 0;
    *this >> word;
    if (word == 0xFFFE) {
        // The wide form: a second length prefix follows, counting 16-bit units.
        wide = true;
        *this >> byte;
        if (byte < 0xFF)
            return byte;
        *this >> word;
    }
    if (word < 0xFFFF)
        return word;
    std::uint32_t dword = 0;
    *this >> dword;
    if (dword < 0xFFFFFFFFu)
        return dword;
    std::uint64_t qword = 0;
    *this >> qword;
    if (qword > kMaxTextLength)
        throw CArchiveException("A text length in the schedule file is out of range.");
    return static_cast<std::uint32_t>(qword);
}

std::string CArchive::ReadCountedText() {
    bool wide = false;
    const std::uint64_t length = ReadStringLength(wide);
    const std::uint64_t bytes = wide ? length * 2 : length;
    Require(bytes);
    const char* p = m_in.data() + m_pos;
    m_pos += bytes;
    if (!wide)
        return std::string(p, bytes);
    std::u16string units(length, u'\0');
    for (std::uint64_t i = 0; i < length; ++i)
        units[i] = GetLittleEndian<char16_t>(reinterpret_cast<const unsigned char*>(p) + 2 * i);
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toStdString();
}

void CArchive::WriteClass(const CRuntimeClass* cls) {
    const auto it = m_storeMap.find(cls);
    if (it != m_storeMap.end()) {
        if (it->second < kBigTag) {
            *this << static_cast<std::uint16_t>(kClassTag | it->second);
        } else {
            *this << kBigTag << static_cast<std::uint32_t>(kBigClassTag | it->second);
        }
        return;
    }
    const std::size_t nameLength = std::strlen(cls->m_lpszClassName);
    *this << kNewClassTag << static_cast<std::uint16_t>(cls->m_wSchema)
          << static_cast<std::uint16_t>(nameLength);
    Write(cls->m_lpszClassName, nameLength);
    m_storeMap.emplace(cls, m_nextIndex++);
}

void CArchive::WriteObject(const CObject* object) {
    if (!object) {
        *this << static_cast<std::uint16_t>(0);
        return;
    }
    const auto it = m_storeMap.find(object);
    if (it != m_storeMap.end()) {
        if (it->second < kBigTag) {
            *this << static_cast<std::uint16_t>(it->second);
        } else {
            *this << kBigTag << it->second;
        }
        return;
    }
    WriteClass(object->GetRuntimeClass());
    m_storeMap.emplace(object, m_nextIndex++);
    const_cast<CObject*>(object)->Serialize(*this);
}

const CArchive::LoadEntry& CArchive::ReadClass(std::uint32_t tag, std::uint16_t word) {
    if (word == kNewClassTag) {
        std::uint16_t schema = 0;
        std::uint16_t nameLength = 0;
        *this >> schema >> nameLength;
        if (nameLength >= kMaxClassNameLength)
            throw CArchiveException("A class name in the schedule file is too long.");
        std::string name(nameLength, '\0');
        Read(name.data(), nameLength);
        const CRuntimeClass* cls = FindRegisteredClass(name);
        if (!cls)
            throw CArchiveException("The schedule file names an unknown class \"" + name + "\".");
        m_loadTable.push_back({cls, schema, nullptr});
        ++m_nextIndex;
        return m_loadTable.back();
    }
    const std::uint32_t index = tag & ~kBigClassTag;
    if (index == 0 || index >= m_loadTable.size() || !m_loadTable[index].cls)
        throw CArchiveException("The schedule file refers to a class it does not describe.");
    return m_loadTable[index];
}

CObject* CArchive::ReadObject() {
    std::uint16_t word = 0;
    *this >> word;
    std::uint32_t tag = 0;
    if (word == kBigTag) {
        *this >> tag;
    } else {
        tag = ((static_cast<std::uint32_t>(word) & kClassTag) << 16) | (word & kBigTag);
    }
    if (!(tag & kBigClassTag)) {
        if (tag == 0)
            return nullptr;
        if (tag >= m_loadTable.size() || !m_loadTable[tag].object)
            throw CArchiveException("The schedule file refers to an object it does not contain.");
        return m_loadTable[tag].object;
    }
    // Copy: pushing the object's entry below may move the table.
    const LoadEntry cls = ReadClass(tag, word);
    m_created.emplace_back(cls.cls->CreateObject());
    CObject* object = m_created.back().get();
    m_loadTable.push_back({nullptr, 0, object});
    ++m_nextIndex;
    const unsigned previousSchema = m_currentSchema;
    m_currentSchema = cls.schema;
    object->Serialize(*this);
    m_currentSchema = previousSchema;
    return object;
}

std::vector<std::unique_ptr<CObject>> CArchive::TakeCreatedObjects() {
    return std::move(m_created);
}
