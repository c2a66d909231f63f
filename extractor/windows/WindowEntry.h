#pragma once

// The one symbol the stub looks up in the window library after loading it.
#define kWindowLibrary "libqmextractor_gui.so"
#define kWindowMainSymbol "qm_extractor_window_main"

namespace extractor {

// Runs the window until it closes; returns the exit status (always 0).
using WindowMainFn = int (*)(int argc, char** argv, const char* openPath, const char* displayPath);

} // namespace extractor

extern "C" __attribute__((visibility("default"))) int
qm_extractor_window_main(int argc, char** argv, const char* openPath, const char* displayPath);
