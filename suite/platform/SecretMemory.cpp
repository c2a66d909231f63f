#include "platform/SecretMemory.h"

#include <string.h>

namespace platform {

void WipeMemory(void* data, std::size_t size) {
    if (data && size > 0)
        ::explicit_bzero(data, size);
}

} // namespace platform
