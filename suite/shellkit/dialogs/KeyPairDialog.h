#pragma once

#include "shellkit/KeyPairGenerator.h"

#include <QDialog>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace shellkit {

// "Generate Key Pair": name, e-mail, expiry (never or a date), the passphrase twice with a
// strength hint, and Generate. Generate stays disabled until the entries are usable; the hint
// line says what is missing. On success the pair is in both rings and the window accepts.
class CDlgKeyPairGen : public QDialog {
    Q_OBJECT
public:
    explicit CDlgKeyPairGen(QWidget* parent = nullptr);
    ~CDlgKeyPairGen() override;

    // The ID text of the pair made, once accepted.
    const std::string& KeyId() const { return m_keyId; }
    QString HintText() const;
    QString StrengthText() const;
    QPushButton* GenerateButton() const { return m_generate; }

private:
    void Update();
    void Generate();

    QLineEdit* m_name;
    QLineEdit* m_email;
    QCheckBox* m_never;
    QDateEdit* m_date;
    QLineEdit* m_pass;
    QLineEdit* m_repeat;
    QLabel* m_strength;
    QLabel* m_hint;
    QPushButton* m_generate;
    std::string m_keyId;
};

// Opens the window above the program's active window.
class QtKeyPairWindow : public IKeyPairWindow {
public:
    int Run() override;
};

} // namespace shellkit
