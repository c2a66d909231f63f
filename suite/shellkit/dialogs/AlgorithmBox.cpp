#include "shellkit/dialogs/AlgorithmBox.h"

#include "corecrypt/Primitives.h"
#include "misckit/HiddenMessages.h"
#include "shellkit/PrefsChecks.h"

namespace shellkit {

CAlgorithmBox::CAlgorithmBox(QWidget* parent) : QComboBox(parent) {
    for (int code = 1; code <= corecrypt::kAlgorithmCount * corecrypt::kModeCount; ++code) {
        QString name = QString::fromStdString(AlgorithmModeName(code));
        if (IsDiscouragedCode(code))
            name += tr(" (not recommended)");
        addItem(name, code);
    }
    SetCode(corecrypt::kDefaultAlgorithmMode);
    connect(this, &QComboBox::activated, this, [this] { emit codeChosen(Code()); });
}

int CAlgorithmBox::Code() const {
    return currentData().toInt();
}

void CAlgorithmBox::SetCode(int code) {
    const int index = findData(code);
    setCurrentIndex(index >= 0 ? index : findData(corecrypt::kDefaultAlgorithmMode));
}

void ExplainDiscouragedOnce(int code, bool& shown) {
    if (shown || !IsDiscouragedCode(code))
        return;
    shown = true;
    uikit::Message message;
    message.text = DiscouragedCodeNote(code);
    message.caption = "Not recommended";
    message.icon = uikit::Icon::Information;
    misckit::ShowHideableMessage("WeakCipher", message, uikit::Answer::OK);
}

} // namespace shellkit
