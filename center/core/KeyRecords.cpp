#include "center/core/KeyRecords.h"

KMInfo::~KMInfo() = default;

void KMInfo::SetSize(std::uint64_t size) {
    m_nSize = size;
}

void KMInfo::SetPath(const std::string& path) {
    m_csPath = path;
    const auto slash = path.find_last_of('/');
    m_csName = slash == std::string::npos ? path : path.substr(slash + 1);
}

void KMKeyInfo::SetSize(std::uint64_t size) {
    KMInfo::SetSize(size);
    const auto low = static_cast<std::uint32_t>(size);
    m_nSize64 = low - 24u;
    m_nSize128 = low - 32u;
}
