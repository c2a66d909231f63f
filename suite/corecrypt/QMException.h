#pragma once

#include "uikit/UIException.h"

#include <string>

// The engine's exception: a numeric code and up to two texts, shown through CUIException's report.
class CQMException : public CUIException {
public:
    // The codes that callers test for.
    enum Code {
        kGeneral = 0,
        kCannotOpen = 3,         // the file could not be opened; text: the path
        kReadFailure = 6,        // reading failed or ended early; text: the path
        kWrongHeaderVersion = 53 // the file's header has a version this engine does not read
    };

    explicit CQMException(int code, const char* text = nullptr, const char* text2 = nullptr)
        : CUIException(code, text, text2) {}
    CQMException(int code, std::string text, std::string text2 = {})
        : CUIException(code, std::move(text), std::move(text2)) {}
};
