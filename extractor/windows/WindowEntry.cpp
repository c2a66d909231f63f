// The entry point of the window library, looked up by the stub after dlopen().
#include "extractor/windows/WindowEntry.h"
#include "extractor/windows/ExtractorWindow.h"

#include <QApplication>

extern "C" int qm_extractor_window_main(int argc, char** argv, const char* openPath,
                                        const char* displayPath) {
    QApplication app(argc, argv);
    extractor::ExtractorWindow window(sfx::OwnFile{openPath, displayPath});
    window.exec();
    return 0;
}
