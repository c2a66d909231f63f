#pragma once

#include <cstddef>

namespace platform {

// Overwrites memory with zeros in a way the compiler cannot drop, for passwords and keys that
// are about to be released.
void WipeMemory(void* data, std::size_t size);

} // namespace platform
