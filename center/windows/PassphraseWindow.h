#pragma once

#include <string>

// "Quillmark: Enter Passphrase": asks for a password through uikit, so that tests and headless
// runs answer it like every other question. At most 1024 characters are kept.
class CDlgDPass {
public:
    // True with the text in m_strPass; false when cancelled.
    bool DoModal();
    std::string m_strPass;
};
