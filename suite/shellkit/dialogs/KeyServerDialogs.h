#pragma once

#include "corecrypt/AsymmKey.h"

#include <QDialog>

#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace shellkit {

// "Public Key Revocation": start a new revocation, or complete one with the mailed code. Accepted
// with the code (empty for a new revocation).
class CDlgRevokeKey : public QDialog {
    Q_OBJECT
public:
    explicit CDlgRevokeKey(QWidget* parent = nullptr);
    std::string Code() const { return m_code; }

private:
    void Send();

    QRadioButton* m_start;
    QRadioButton* m_complete;
    QLineEdit* m_codeField;
    std::string m_code;
};

// "Find Public Key": asks the key server for an address's key, shows it (with its e-mail and key
// ID, so it can be checked) and imports it into the public ring. Accepted by OK after an import.
class CFindPubKeyOnKS : public QDialog {
    Q_OBJECT
public:
    explicit CFindPubKeyOnKS(QWidget* parent = nullptr);
    ~CFindPubKeyOnKS() override;
    bool Imported() const { return m_imported; }

private:
    void Send();
    void Import();

    QLineEdit* m_email;
    QLineEdit* m_name;
    QLineEdit* m_foundEmail;
    QLineEdit* m_keyId;
    QLineEdit* m_created;
    QLineEdit* m_expires;
    QLineEdit* m_size;
    QPushButton* m_import;
    std::unique_ptr<CPublicKey> m_key;
    bool m_imported = false;
};

} // namespace shellkit
