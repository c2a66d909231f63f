#pragma once

namespace extractor {

// Whether a window can be opened: QT_QPA_PLATFORM names a platform that needs no server
// (offscreen, minimal, vnc), or DISPLAY / WAYLAND_DISPLAY names a socket that accepts a
// connection. The stub cannot link the suite's platform library, so it keeps its own copy.
bool DisplayAvailable();

} // namespace extractor
