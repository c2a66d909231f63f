#include "netkit/dialogs/AdvancedMail.h"

#include "misckit/Registry.h"
#include "netkit/Mail.h"
#include "netkit/Socks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <array>

namespace NetKit {
namespace Mail {

namespace {

QString Dotted(std::uint32_t ip) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ip >> 24)
        .arg((ip >> 16) & 0xFF)
        .arg((ip >> 8) & 0xFF)
        .arg(ip & 0xFF);
}

template <typename T>
T* Named(T* widget, const QString& name) {
    widget->setAccessibleName(name);
    return widget;
}

} // namespace

CDlgAdvancedMail::CDlgAdvancedMail(const std::string& viaIp, const std::string& encoding,
                                   const std::string& login, const std::string& password, int auth,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Advanced settings"));
    auto* layout = new QVBoxLayout(this);

    auto* task = new QGroupBox(tr("This task"), this);
    auto* taskForm = new QFormLayout(task);
    m_via = Named(new QComboBox(task), tr("Via IP"));
    m_via->setEditable(true);
    std::array<std::uint32_t, 20> ips{};
    const int count = Socks::get_loc_ips(ips);
    for (int i = 0; i < count && i < static_cast<int>(ips.size()); ++i)
        m_via->addItem(Dotted(ips[static_cast<std::size_t>(i)]));
    m_via->setCurrentText(QString::fromStdString(viaIp));
    taskForm->addRow(tr("&Via IP:"), m_via);
    m_encoding = Named(new QLineEdit(QString::fromStdString(encoding), task), tr("Encoding"));
    taskForm->addRow(tr("&Encoding:"), m_encoding);
    m_auth = new QCheckBox(tr("Server &authentication"), task);
    m_auth->setChecked(auth != 0);
    taskForm->addRow(m_auth);
    m_login = Named(new QLineEdit(QString::fromStdString(login), task), tr("Login"));
    taskForm->addRow(tr("&Login:"), m_login);
    m_password = Named(new QLineEdit(QString::fromStdString(password), task), tr("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    taskForm->addRow(tr("&Password:"), m_password);
    layout->addWidget(task);

    const CQMRegistry settings;
    auto* connection = new QGroupBox(tr("Every mail task"), this);
    auto* form = new QFormLayout(connection);
    m_port = Named(new QSpinBox(connection), tr("Port"));
    m_port->setRange(0, 65535);
    m_port->setSpecialValueText(tr("Standard (25, or 465 for SMTPS)"));
    m_port->setValue(static_cast<int>(settings.GetMailPort()));
    form->addRow(tr("P&ort:"), m_port);
    m_security = Named(new QComboBox(connection), tr("Security"));
    m_security->addItems(
        {tr("STARTTLS when the server offers it"), tr("STARTTLS always"), tr("TLS from the start (SMTPS)")});
    m_security->setCurrentIndex(static_cast<int>(settings.GetMailSecurity()));
    form->addRow(tr("&Security:"), m_security);
    m_timeout = Named(new QSpinBox(connection), tr("Timeout"));
    m_timeout->setRange(4, 600);
    m_timeout->setSpecialValueText(tr("Standard"));
    m_timeout->setSuffix(tr(" s"));
    const std::uint32_t timeout = settings.GetMailTimeout();
    m_timeout->setValue(timeout == 0 ? 4 : static_cast<int>(timeout));
    form->addRow(tr("&Timeout:"), m_timeout);
    m_plainAuth = new QCheckBox(tr("Allow the &password over a connection without encryption"), connection);
    m_plainAuth->setChecked(settings.GetMailPlainAuth() != 0);
    form->addRow(m_plainAuth);
    layout->addWidget(connection);

    auto follow = [this] {
        m_login->setEnabled(m_auth->isChecked());
        m_password->setEnabled(m_auth->isChecked());
    };
    follow();
    connect(m_auth, &QCheckBox::toggled, this, follow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgAdvancedMail::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDlgAdvancedMail::accept() {
    const CQMRegistry settings;
    settings.WriteDWORD(encreg::szMailPort, static_cast<std::uint32_t>(m_port->value()));
    settings.WriteDWORD(encreg::szMailSecurity, static_cast<std::uint32_t>(m_security->currentIndex()));
    // The lowest value of the box stands for the mail client's own waits.
    settings.WriteDWORD(encreg::szMailTimeout, m_timeout->value() == m_timeout->minimum()
                                                   ? 0u
                                                   : static_cast<std::uint32_t>(m_timeout->value()));
    settings.WriteBYTE(encreg::szMailPlainAuth, m_plainAuth->isChecked() ? 1 : 0);
    QDialog::accept();
}

int ShowAdvancedMailUI(std::string& viaIp, std::string& encoding, std::string& login, std::string& password,
                       int& auth, QWidget* parent) {
    CDlgAdvancedMail dialog(viaIp, encoding, login, password, auth, parent);
    if (dialog.exec() != QDialog::Accepted)
        return 2;
    viaIp = dialog.ViaIp()->currentText().trimmed().toStdString();
    encoding = dialog.Encoding()->text().trimmed().toStdString();
    auth = dialog.Auth()->isChecked() ? 1 : 0;
    login = dialog.Login()->text().toStdString();
    password = dialog.Password()->text().toStdString();
    return 1;
}

} // namespace Mail
} // namespace NetKit
