#pragma once

#include <cstring>
#include <string>

namespace corecrypt {

// Copies a reason into a caller's error buffer, cut to fit and always zero-terminated.
inline void SetErrorText(char* errorText, int errorTextSize, const std::string& text) {
    if (!errorText || errorTextSize <= 0)
        return;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(errorTextSize - 1));
    std::memcpy(errorText, text.data(), n);
    errorText[n] = '\0';
}

} // namespace corecrypt
