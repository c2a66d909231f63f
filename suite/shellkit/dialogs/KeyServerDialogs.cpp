#include "shellkit/dialogs/KeyServerDialogs.h"

#include "corecrypt/KeyRing.h"
#include "misckit/Help.h"
#include "netkit/KeyServ.h"
#include "platform/Clock.h"
#include "shellkit/KeyRings.h"
#include "shellkit/KeyServerCommands.h"
#include "uikit/Ui.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstring>

namespace shellkit {
namespace {

const char kAppName[] = "Quillmark";

QLineEdit* ResultField(const QString& name) {
    auto* field = new QLineEdit;
    field->setReadOnly(true);
    field->setAccessibleName(name);
    return field;
}

QPushButton* AddButton(QDialogButtonBox* box, const QString& text, QDialogButtonBox::ButtonRole role) {
    QPushButton* button = box->addButton(text, role);
    button->setAccessibleName(QString(text).remove('&'));
    return button;
}

} // namespace

CDlgRevokeKey::CDlgRevokeKey(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Public Key Revocation"));
    auto* group = new QGroupBox(QStringLiteral("Select action"));
    m_start = new QRadioButton(
        QStringLiteral("I do not have a revocation code and want to initiate a new revocation."));
    m_complete = new QRadioButton(
        QStringLiteral("I already initiated revocation and have received a revocation code."));
    m_start->setChecked(true);
    auto* label = new QLabel(QStringLiteral("Enter revocation &code:"));
    m_codeField = new QLineEdit;
    m_codeField->setAccessibleName(QStringLiteral("Revocation code"));
    m_codeField->setMaxLength(64);
    m_codeField->setEnabled(false);
    label->setBuddy(m_codeField);
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(m_start);
    inner->addWidget(m_complete);
    inner->addWidget(label);
    inner->addWidget(m_codeField);
    connect(m_complete, &QRadioButton::toggled, m_codeField, &QWidget::setEnabled);

    auto* buttons = new QDialogButtonBox;
    QPushButton* send = AddButton(buttons, QStringLiteral("&Send request"), QDialogButtonBox::AcceptRole);
    send->setDefault(true);
    AddButton(buttons, QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    QPushButton* help = AddButton(buttons, QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
    connect(send, &QPushButton::clicked, this, &CDlgRevokeKey::Send);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, [] { misckit::ShowHelpTopic("QMhelp/kmmanrevokekey.htm"); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
}

void CDlgRevokeKey::Send() {
    if (m_complete->isChecked()) {
        const std::string code = m_codeField->text().trimmed().toStdString();
        if (code.empty()) {
            uikit::MessageBox("Enter your revocation code please.", kAppName, uikit::Buttons::OK,
                              uikit::Icon::Information);
            return;
        }
        m_code = code;
    } else {
        m_code.clear();
    }
    accept();
}

CFindPubKeyOnKS::CFindPubKeyOnKS(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Find Public Key"));
    auto* emailGroup = new QGroupBox(QStringLiteral("Email"));
    auto* prompt = new QLabel(QStringLiteral("&Enter the email address for which you want to find a key:"));
    m_email = new QLineEdit;
    m_email->setAccessibleName(QStringLiteral("Email address"));
    m_email->setMaxLength(256);
    prompt->setBuddy(m_email);
    auto* send = new QPushButton(QStringLiteral("&Send request"));
    send->setAccessibleName(QStringLiteral("Send request"));
    auto* emailLayout = new QVBoxLayout(emailGroup);
    emailLayout->addWidget(prompt);
    emailLayout->addWidget(m_email);
    emailLayout->addWidget(send, 0, Qt::AlignRight);

    auto* keyGroup = new QGroupBox(QStringLiteral("Public key"));
    auto* form = new QFormLayout(keyGroup);
    m_name = ResultField(QStringLiteral("Name"));
    m_foundEmail = ResultField(QStringLiteral("E-mail"));
    m_keyId = ResultField(QStringLiteral("Key ID"));
    m_created = ResultField(QStringLiteral("Created"));
    m_expires = ResultField(QStringLiteral("Expires"));
    m_size = ResultField(QStringLiteral("Size"));
    // The whole key ID shows: eight groups of four hex digits.
    m_keyId->setMinimumWidth(m_keyId->fontMetrics().horizontalAdvance(QString(39, QLatin1Char('D'))) + 24);
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("E-mail:"), m_foundEmail);
    form->addRow(QStringLiteral("Key ID:"), m_keyId);
    form->addRow(QStringLiteral("Created:"), m_created);
    form->addRow(QStringLiteral("Expires:"), m_expires);
    form->addRow(QStringLiteral("Size:"), m_size);

    auto* buttons = new QDialogButtonBox;
    m_import = AddButton(buttons, QStringLiteral("&Import"), QDialogButtonBox::ActionRole);
    m_import->setEnabled(false);
    QPushButton* ok = AddButton(buttons, QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* help = AddButton(buttons, QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
    // Enter in the address field sends the request; OK closes.
    send->setAutoDefault(false);
    ok->setAutoDefault(false);
    connect(m_email, &QLineEdit::returnPressed, this, &CFindPubKeyOnKS::Send);
    connect(send, &QPushButton::clicked, this, &CFindPubKeyOnKS::Send);
    connect(m_import, &QPushButton::clicked, this, &CFindPubKeyOnKS::Import);
    connect(ok, &QPushButton::clicked, this, [this] { m_imported ? accept() : reject(); });
    connect(help, &QPushButton::clicked, [] { misckit::ShowHelpTopic("QMhelp/kmmanfindkeyonserv.htm"); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(emailGroup);
    layout->addWidget(keyGroup);
    layout->addWidget(buttons);
}

CFindPubKeyOnKS::~CFindPubKeyOnKS() = default;

void CFindPubKeyOnKS::Send() {
    const std::string address = m_email->text().trimmed().toStdString();
    if (address.empty()) {
        uikit::MessageBox("Enter an email address please.", kAppName, uikit::Buttons::OK,
                          uikit::Icon::Information);
        return;
    }
    if (address.find('@') == std::string::npos) {
        uikit::MessageBox("Wrong format of email address.", kAppName, uikit::Buttons::OK,
                          uikit::Icon::Information);
        return;
    }
    UseKeyServerFromSettings();
    std::vector<std::unique_ptr<CPublicKey>> keys;
    char text[1000] = "";
    bool ok = false;
    {
        uikit::WaitCursor wait;
        ok = NetKit::KeyServ::FindKey(address.c_str(), keys, text, sizeof text) != 0;
    }
    if (!ok) {
        uikit::MessageBox(text, "Error", uikit::Buttons::OK, uikit::Icon::Warning);
        return;
    }
    if (keys.empty()) {
        uikit::MessageBox("No keys with such email address on keyserver.", kAppName);
        return;
    }
    m_key = std::move(keys.front());
    uikit::MessageBox("Key found.", "Success!", uikit::Buttons::OK, uikit::Icon::Information);
    m_name->setText(QString::fromStdString(m_key->GetUserNameA()));
    m_foundEmail->setText(QString::fromStdString(m_key->GetEmail()));
    m_keyId->setText(QString::fromStdString(m_key->GetKeyIDText()));
    m_created->setText(QString::fromStdString(platform::LocalTimeText(m_key->GetCreationTime())));
    m_expires->setText(m_key->GetExpireTime() == 0
                           ? QStringLiteral("No expiration date")
                           : QString::fromStdString(platform::LocalTimeText(m_key->GetExpireTime())));
    m_size->setText(QString::number(static_cast<std::int32_t>(m_key->m_nSize)));
    m_import->setEnabled(true);
}

void CFindPubKeyOnKS::Import() {
    if (!m_key)
        return;
    std::string ring;
    if (!GetPubKeyFileName(ring, nullptr, 0) || ring.empty()) {
        uikit::MessageBox("Cannot find the name of public keys file. Check you \"Paths\" settings.", "Error",
                          uikit::Buttons::OK, uikit::Icon::Warning);
        return;
    }
    char text[1000] = "";
    PublicKeySlots stored(corecrypt::kRingSlots);
    const int count = LoadPublicKeyRing(stored, ring.c_str(), text, sizeof text);
    for (int i = 0; i < count; ++i)
        if (stored[i] && std::memcmp(stored[i]->GetKeyIDPbyte(), m_key->GetKeyIDPbyte(),
                                     corecrypt::kAsymmKeyIdSize) == 0) {
            uikit::MessageBox("This public key is already contained in your public keys file.", kAppName,
                              uikit::Buttons::OK, uikit::Icon::Information);
            return;
        }
    if (!AddPublicKeyToFile(*m_key, ring.c_str(), text, sizeof text)) {
        uikit::MessageBox(text, "Error");
        return;
    }
    m_imported = true;
    uikit::MessageBox("Key has been sucessfully imported.", "Success", uikit::Buttons::OK,
                      uikit::Icon::Information);
}

} // namespace shellkit
