#include "misckit/dialogs/AboutBox.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtGlobal>

#include <cryptopp/config_ver.h>
#include <curl/curl.h>
#include <zlib.h>

namespace misckit {

QStringList CAboutBox::Libraries() {
    const curl_version_info_data* curl = curl_version_info(CURLVERSION_NOW);
    return {
        QStringLiteral("Qt %1").arg(QString::fromLatin1(qVersion())),
        QStringLiteral("Crypto++ %1.%2.%3").arg(CRYPTOPP_MAJOR).arg(CRYPTOPP_MINOR).arg(CRYPTOPP_REVISION),
        QStringLiteral("zlib %1").arg(QString::fromLatin1(zlibVersion())),
        QStringLiteral("libcurl %1").arg(QString::fromLatin1(curl ? curl->version : "?"))};
}

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Quillmark"));
    setObjectName(QStringLiteral("AboutBox"));
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(
        QIcon::fromTheme(QStringLiteral("security-high"), QIcon::fromTheme(QStringLiteral("dialog-password")))
            .pixmap(48, 48));
    auto* title = new QLabel(tr("<h2>Quillmark %1</h2>").arg(QStringLiteral(QM_VERSION)), this);
    title->setObjectName(QStringLiteral("version"));
    auto* text =
        new QLabel(tr("File encryption for one person at a desk: keys, encrypted files and archives, "
                      "scheduled tasks and self-extracting files."),
                   this);
    text->setWordWrap(true);
    auto* libraries = new QLabel(tr("Built with %1.").arg(Libraries().join(QStringLiteral(", "))), this);
    libraries->setObjectName(QStringLiteral("libraries"));
    libraries->setWordWrap(true);
    libraries->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(text);
    layout->addWidget(libraries);
    layout->addWidget(buttons);
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(420);
}

} // namespace misckit
