#pragma once

// Bytes that hold secrets (keys, passwords, plaintext on its way to disk): zeroed before their
// memory is released or given up for a new size, so no copy stays behind in the heap.

#include <cstddef>
#include <cstdint>

namespace corecrypt {

class SecureBytes {
public:
    SecureBytes() = default;
    // `size` zero bytes.
    explicit SecureBytes(std::size_t size);
    SecureBytes(const std::uint8_t* data, std::size_t size);
    SecureBytes(const SecureBytes& other);
    SecureBytes& operator=(const SecureBytes& other);
    SecureBytes(SecureBytes&& other) noexcept;
    SecureBytes& operator=(SecureBytes&& other) noexcept;
    ~SecureBytes();

    // Gives the block `size` bytes; the old contents are wiped and not kept.
    void New(std::size_t size);
    // As New, with every byte zero.
    void CleanNew(std::size_t size);
    // A copy of `size` bytes at `data`.
    void Assign(const std::uint8_t* data, std::size_t size);
    void swap(SecureBytes& other) noexcept;

    std::uint8_t* data() { return m_data; }
    const std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    std::uint8_t* begin() { return m_data; }
    std::uint8_t* end() { return m_data + m_size; }
    const std::uint8_t* begin() const { return m_data; }
    const std::uint8_t* end() const { return m_data + m_size; }
    std::uint8_t& operator[](std::size_t i) { return m_data[i]; }
    std::uint8_t operator[](std::size_t i) const { return m_data[i]; }

private:
    void Release();

    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace corecrypt
