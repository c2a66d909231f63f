#pragma once

namespace platform {

// True when a window can be opened: a Qt platform that needs no display was chosen
// (QT_QPA_PLATFORM=offscreen and the like), or the X11 or Wayland display named by the
// environment accepts connections.
bool DisplayAvailable();

} // namespace platform
