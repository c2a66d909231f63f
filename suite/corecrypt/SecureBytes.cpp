#include "corecrypt/SecureBytes.h"

#include "platform/SecretMemory.h"

#include <cstring>
#include <new>
#include <utility>

namespace corecrypt {

SecureBytes::SecureBytes(std::size_t size) {
    CleanNew(size);
}

SecureBytes::SecureBytes(const std::uint8_t* data, std::size_t size) {
    Assign(data, size);
}

SecureBytes::SecureBytes(const SecureBytes& other) {
    Assign(other.m_data, other.m_size);
}

SecureBytes& SecureBytes::operator=(const SecureBytes& other) {
    if (this != &other)
        Assign(other.m_data, other.m_size);
    return *this;
}

SecureBytes::SecureBytes(SecureBytes&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

SecureBytes& SecureBytes::operator=(SecureBytes&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

SecureBytes::~SecureBytes() {
    Release();
}

void SecureBytes::Release() {
    if (m_data) {
        platform::WipeMemory(m_data, m_size);
        ::operator delete(m_data);
    }
    m_data = nullptr;
    m_size = 0;
}

void SecureBytes::New(std::size_t size) {
    if (size == m_size)
        return;
    Release();
    if (size > 0) {
        m_data = static_cast<std::uint8_t*>(::operator new(size));
        m_size = size;
    }
}

void SecureBytes::CleanNew(std::size_t size) {
    New(size);
    if (m_size > 0)
        std::memset(m_data, 0, m_size);
}

void SecureBytes::Assign(const std::uint8_t* data, std::size_t size) {
    // `data` may lie inside this block: copy before the old block goes.
    SecureBytes copy;
    copy.New(size);
    if (size > 0)
        std::memcpy(copy.m_data, data, size);
    swap(copy);
}

void SecureBytes::swap(SecureBytes& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
}

} // namespace corecrypt
