#pragma once

#include <string_view>

namespace extractor {

// The bytes of the window library built into the stub.
std::string_view EmbeddedWindowLibrary();

} // namespace extractor
