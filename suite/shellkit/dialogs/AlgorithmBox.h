#pragma once

#include <QComboBox>

namespace shellkit {

// The 40 algorithm-mode codes by name ("AES, CBC mode"), in code order.
class CAlgorithmBox : public QComboBox {
    Q_OBJECT
public:
    explicit CAlgorithmBox(QWidget* parent = nullptr);
    int Code() const;
    // An unknown code selects the default (AES, CBC mode).
    void SetCode(int code);

signals:
    // The user picked a code (not emitted by SetCode).
    void codeChosen(int code);
};

// Explains why ECB and Triple-DES are not recommended, the first time such a code is chosen while
// `shown` is false; sets `shown`. The user can silence the note for good.
void ExplainDiscouragedOnce(int code, bool& shown);

} // namespace shellkit
