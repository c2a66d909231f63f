#include "center/windows/PassphraseWindow.h"

#include "uikit/Ui.h"

namespace {
constexpr std::size_t kMaxPassphrase = 1024;
}

bool CDlgDPass::DoModal() {
    uikit::TextRequest request;
    request.caption = "Quillmark: Enter Passphrase";
    request.prompt = "Enter password:";
    request.hidden = true;
    const auto answer = uikit::AskText(request);
    if (!answer)
        return false;
    m_strPass = answer->substr(0, kMaxPassphrase);
    return true;
}
