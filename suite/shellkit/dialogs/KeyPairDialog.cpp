#include "shellkit/dialogs/KeyPairDialog.h"

#include "misckit/Registry.h"
#include "shellkit/KeyRings.h"
#include "uikit/Ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace shellkit {
namespace {

constexpr char kGeometryValue[] = "KeyPairWindow";

template <class W>
W* Named(W* widget, const QString& name) {
    widget->setAccessibleName(name);
    return widget;
}

} // namespace

CDlgKeyPairGen::CDlgKeyPairGen(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Generate Key Pair"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("dialog-password")));
    m_name = Named(new QLineEdit(this), tr("Name"));
    m_name->setMaxLength(256);
    m_email = Named(new QLineEdit(this), tr("E-mail"));
    m_email->setMaxLength(256);
    m_never = Named(new QCheckBox(tr("&Never expires"), this), tr("Never expires"));
    m_never->setChecked(true);
    m_date = Named(new QDateEdit(QDate::currentDate().addYears(2), this), tr("Expiry date"));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setMinimumDate(QDate::currentDate());
    m_date->setEnabled(false);
    m_pass = Named(new QLineEdit(this), tr("Passphrase"));
    m_pass->setEchoMode(QLineEdit::Password);
    m_pass->setMaxLength(1024);
    m_repeat = Named(new QLineEdit(this), tr("Repeat passphrase"));
    m_repeat->setEchoMode(QLineEdit::Password);
    m_repeat->setMaxLength(1024);
    m_strength = Named(new QLabel(this), tr("Passphrase strength"));
    m_hint = Named(new QLabel(this), tr("Hint"));
    m_hint->setWordWrap(true);

    auto* expiry = new QHBoxLayout;
    expiry->addWidget(m_never);
    expiry->addWidget(m_date, 1);
    auto* form = new QFormLayout;
    auto addRow = [&](const QString& label, QWidget* field) {
        auto* l = new QLabel(label, this);
        l->setBuddy(field);
        form->addRow(l, field);
    };
    addRow(tr("N&ame:"), m_name);
    addRow(tr("&E-mail:"), m_email);
    form->addRow(tr("Expires:"), expiry);
    addRow(tr("&Passphrase:"), m_pass);
    addRow(tr("&Repeat passphrase:"), m_repeat);
    form->addRow(tr("Strength:"), m_strength);

    auto* buttons = new QDialogButtonBox(this);
    m_generate = Named(buttons->addButton(tr("&Generate"), QDialogButtonBox::AcceptRole), tr("Generate"));
    m_generate->setDefault(true);
    auto* cancel = Named(buttons->addButton(QDialogButtonBox::Cancel), tr("Cancel"));
    cancel->setIcon(QIcon::fromTheme(QStringLiteral("dialog-cancel")));
    connect(m_generate, &QPushButton::clicked, this, &CDlgKeyPairGen::Generate);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(tr("A key pair lets others check what you sign and send you messages only you can "
                      "read. The passphrase protects the private key; it cannot be recovered."),
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(m_hint);
    layout->addWidget(buttons);
    setTabOrder(m_name, m_email);
    setTabOrder(m_email, m_never);
    setTabOrder(m_never, m_date);
    setTabOrder(m_date, m_pass);
    setTabOrder(m_pass, m_repeat);
    setTabOrder(m_repeat, m_generate);
    setTabOrder(m_generate, cancel);

    for (QLineEdit* edit : {m_name, m_email, m_pass, m_repeat})
        connect(edit, &QLineEdit::textChanged, this, &CDlgKeyPairGen::Update);
    connect(m_never, &QCheckBox::toggled, this, [this](bool never) {
        m_date->setEnabled(!never);
        Update();
    });

    std::string geometry;
    if (CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman).ReadBinaryEx(kGeometryValue, geometry))
        restoreGeometry(QByteArray::fromStdString(geometry));
    else
        resize(460, sizeHint().height());
    Update();
}

CDlgKeyPairGen::~CDlgKeyPairGen() {
    CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman)
        .WriteBinary(kGeometryValue, saveGeometry().toStdString());
}

QString CDlgKeyPairGen::HintText() const {
    return m_hint->text();
}

QString CDlgKeyPairGen::StrengthText() const {
    return m_strength->text();
}

void CDlgKeyPairGen::Update() {
    std::string strength;
    PassphraseStrength(m_pass->text().toStdString(), strength);
    m_strength->setText(QString::fromStdString(strength));
    std::string error;
    QString hint;
    const std::string name = m_name->text().trimmed().toStdString();
    const std::string email = m_email->text().trimmed().toStdString();
    if (name.empty())
        hint = tr("Enter your name.");
    else if (email.empty())
        hint = tr("Enter your e-mail address.");
    else if (!CheckNameAndEmail(name, email, error))
        hint = QString::fromStdString(error);
    else if (m_pass->text().isEmpty())
        hint = tr("Choose a passphrase for the private key.");
    else if (m_pass->text() != m_repeat->text())
        hint = tr("The passphrases do not match.");
    m_hint->setText(hint);
    m_generate->setEnabled(hint.isEmpty());
}

void CDlgKeyPairGen::Generate() {
    Update();
    if (!m_generate->isEnabled())
        return;
    KeyPairRequest request;
    request.name = m_name->text().trimmed().toStdString();
    request.email = m_email->text().trimmed().toStdString();
    request.passphrase = m_pass->text().toStdString();
    if (!m_never->isChecked() &&
        !ParseExpiryDate(m_date->date().toString(QStringLiteral("yyyy-MM-dd")).toStdString(),
                         request.expires)) {
        uikit::MessageBox("The expiry date is not valid.", "Error", uikit::Buttons::OK, uikit::Icon::Warning);
        return;
    }
    std::string error;
    bool made = false;
    {
        uikit::WaitCursor wait;
        made = CreateKeyPair(request, m_keyId, error);
    }
    if (!made) {
        uikit::MessageBox(error, "Error", uikit::Buttons::OK, uikit::Icon::Warning);
        return;
    }
    m_pass->clear();
    m_repeat->clear();
    accept();
}

int QtKeyPairWindow::Run() {
    CDlgKeyPairGen dialog(QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted ? kKeyPairGenerated : kKeyPairCancelled;
}

} // namespace shellkit
