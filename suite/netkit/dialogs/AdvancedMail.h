#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace NetKit {
namespace Mail {

// "Advanced settings" of a send-mail task: the task's own connection fields (the address to send
// from, the encoding, login, password and whether to log in), and the user's mail connection
// settings that no task stores (port, security, waiting time, password without encryption),
// which are written to the settings on OK.
class CDlgAdvancedMail : public QDialog {
    Q_OBJECT
public:
    CDlgAdvancedMail(const std::string& viaIp, const std::string& encoding, const std::string& login,
                     const std::string& password, int auth, QWidget* parent = nullptr);
    void accept() override;

    QComboBox* ViaIp() const { return m_via; }
    QLineEdit* Encoding() const { return m_encoding; }
    QCheckBox* Auth() const { return m_auth; }
    QLineEdit* Login() const { return m_login; }
    QLineEdit* Password() const { return m_password; }
    QSpinBox* Port() const { return m_port; }
    QComboBox* Security() const { return m_security; }
    QSpinBox* Timeout() const { return m_timeout; }
    QCheckBox* PlainAuth() const { return m_plainAuth; }

private:
    QComboBox* m_via;
    QLineEdit* m_encoding;
    QCheckBox* m_auth;
    QLineEdit* m_login;
    QLineEdit* m_password;
    QSpinBox* m_port;
    QComboBox* m_security;
    QSpinBox* m_timeout;
    QCheckBox* m_plainAuth;
};

// Shows the window; on OK the five task fields take the entered values and the settings are
// saved. 1 OK, 2 Cancel.
int ShowAdvancedMailUI(std::string& viaIp, std::string& encoding, std::string& login, std::string& password,
                       int& auth, QWidget* parent = nullptr);

} // namespace Mail
} // namespace NetKit
