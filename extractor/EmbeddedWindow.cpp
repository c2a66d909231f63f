// A stripped copy of the window library, carried inside the stub: a self-extracting file copied
// anywhere can still open its window where Qt is installed, and nothing of Qt is needed to load
// the stub itself.
#include "extractor/EmbeddedWindow.h"

asm(".section .rodata\n"
    ".balign 16\n"
    "qm_embedded_window_begin:\n"
    ".incbin \"" QM_EMBEDDED_WINDOW "\"\n"
    "qm_embedded_window_end:\n"
    ".previous\n");

extern "C" const unsigned char qm_embedded_window_begin[];
extern "C" const unsigned char qm_embedded_window_end[];

namespace extractor {

std::string_view EmbeddedWindowLibrary() {
    return {reinterpret_cast<const char*>(qm_embedded_window_begin),
            std::size_t(qm_embedded_window_end - qm_embedded_window_begin)};
}

} // namespace extractor
