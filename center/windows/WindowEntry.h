#pragma once

// The control center's window lives in its own library, which qmcenter loads only to open the
// window: the console verbs then start without Qt Widgets and the display libraries.
#define kCenterWindowLibrary "libqmcenter_gui.so"
#define kCenterWindowMainSymbol "qm_center_window_main"

// Runs the main window until it closes; returns the exit status.
using CenterWindowMainFn = int (*)(int argc, char** argv);

extern "C" __attribute__((visibility("default"))) int qm_center_window_main(int argc, char** argv);
