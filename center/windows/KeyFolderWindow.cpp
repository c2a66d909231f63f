#include "center/windows/KeyFolderWindow.h"

#include "misckit/Registry.h"
#include "uikit/DirDialog.h"
#include "uikit/ShellInfo.h"
#include "uikit/Ui.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>

CDlgKeyFolder::CDlgKeyFolder(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("KeyFolderWindow"));
    setWindowTitle(tr("Encryption keys folder"));
    std::string stored;
    m_stored = CQMRegistry().ReadStringEx(encreg::szKeyFolder, stored) && !stored.empty() &&
               CQMRegistry().ValueExists(encreg::szKeyFolder);
    m_default = uikit::GetSpecialFolder(uikit::kSpecialFolderKeys);
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(tr("In order to manage your encryption keys with File Manager you need to specify "
                      "the folder in which you store your encryption keys."),
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* prompt = new QLabel(tr("&Enter the folder where encryption keys are stored:"), this);
    layout->addWidget(prompt);
    auto* row = new QHBoxLayout;
    m_field = new QLineEdit(QString::fromStdString(m_stored ? stored : m_default), this);
    m_field->setObjectName(QStringLiteral("KeyFolderField"));
    m_field->setAccessibleName(tr("Encryption keys folder"));
    prompt->setBuddy(m_field);
    row->addWidget(m_field, 1);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setAccessibleName(tr("Choose the folder"));
    browse->setAutoDefault(false);
    row->addWidget(browse);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(browse, &QPushButton::clicked, this, [this] {
        CDirDialog chooser;
        chooser.m_strTitle = "Select output folder";
        chooser.m_strWindowTitle = "Quillmark";
        chooser.m_strInitialDir = m_field->text().toStdString();
        if (chooser.DoBrowse())
            m_field->setText(QString::fromStdString(chooser.m_strPath));
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgKeyFolder::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgKeyFolder::reject);
    resize(520, 160);
}

void CDlgKeyFolder::accept() {
    const std::string folder = m_field->text().trimmed().toStdString();
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
        uikit::MessageBox("Path doesn't exist.", "Error", uikit::Buttons::OK, uikit::Icon::Warning);
        return;
    }
    m_folder = folder;
    QDialog::accept();
}

void CDlgKeyFolder::reject() {
    if (!m_stored) {
        CQMRegistry().WriteString(encreg::szKeyFolder, m_default);
        m_folder = m_default;
    }
    QDialog::reject();
}
