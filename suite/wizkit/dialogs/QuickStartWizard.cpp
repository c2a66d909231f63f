#include "wizkit/dialogs/QuickStartWizard.h"

#include "misckit/Help.h"
#include "misckit/Registry.h"
#include "misckit/dialogs/WindowMemory.h"
#include "shellkit/ShellWindows.h"
#include "shellkit/dialogs/PathField.h"
#include "uikit/Ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWizardPage>

namespace wizkit {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* Text(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

CQuickStartWizard::CQuickStartWizard(QWidget* parent) : QWizard(parent) {
    setWindowTitle(tr("Quillmark Quick Start"));
    setObjectName(QStringLiteral("QuickStart"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::HaveHelpButton);
    setOption(QWizard::HaveCustomButton1);
    setButtonText(QWizard::CustomButton1, tr("S&kip"));
    setButtonLayout({QWizard::HelpButton, QWizard::Stretch, QWizard::CustomButton1, QWizard::BackButton,
                     QWizard::NextButton, QWizard::FinishButton, QWizard::CancelButton});

    auto* folderPage = new QWizardPage(this);
    folderPage->setTitle(tr("Key folder"));
    folderPage->setSubTitle(tr("Quillmark keeps your key files in one folder, readable by you only."));
    {
        auto* form = new QFormLayout(folderPage);
        m_folder = new QLineEdit(Q(misckit::GetKeyFolder()), folderPage);
        auto* choose = shellkit::MakeChooserButton(folderPage, tr("Choose the key folder"));
        auto* row = new QHBoxLayout;
        row->addWidget(m_folder, 1);
        row->addWidget(choose);
        auto* label = new QLabel(tr("&Key folder:"), folderPage);
        label->setBuddy(m_folder);
        form->addRow(label, row);
        connect(choose, &QToolButton::clicked, this, [this] {
            if (auto chosen = uikit::ChooseFolder(
                    {"Quillmark", "Select the key folder", m_folder->text().toStdString()}))
                m_folder->setText(Q(*chosen));
        });
    }
    setPage(kKeyFolderPage, folderPage);

    auto* keyPage = new QWizardPage(this);
    keyPage->setTitle(tr("A first key file"));
    keyPage->setSubTitle(
        tr("A key file (\".qmk\") opens files without a password. Keep a copy in a safe place: "
           "without it the files it encrypted cannot be opened."));
    {
        auto* layout = new QVBoxLayout(keyPage);
        m_createKey = new QCheckBox(tr("&Create a key file now"), keyPage);
        m_createKey->setChecked(true);
        layout->addWidget(m_createKey);
        auto* form = new QFormLayout;
        m_keyFile = new QLineEdit(keyPage);
        auto* label = new QLabel(tr("Key &file:"), keyPage);
        label->setBuddy(m_keyFile);
        form->addRow(label, m_keyFile);
        layout->addLayout(form);
        layout->addStretch();
        connect(m_createKey, &QCheckBox::toggled, m_keyFile, &QLineEdit::setEnabled);
    }
    setPage(kKeyFilePage, keyPage);

    auto* locationsPage = new QWizardPage(this);
    locationsPage->setTitle(tr("Locations"));
    locationsPage->setSubTitle(
        tr("Name up to 10 folders in which the Control Center looks for your encrypted "
           "files and archives."));
    {
        auto* layout = new QVBoxLayout(locationsPage);
        auto* label = new QLabel(tr("&Folders to scan:"), locationsPage);
        m_locations = new QListWidget(locationsPage);
        label->setBuddy(m_locations);
        for (const auto& f : ReadLocations())
            m_locations->addItem(Q(f));
        auto* add = new QPushButton(tr("&Add..."), locationsPage);
        auto* remove = new QPushButton(tr("&Remove"), locationsPage);
        auto* row = new QHBoxLayout;
        row->addWidget(add);
        row->addWidget(remove);
        row->addStretch();
        layout->addWidget(label);
        layout->addWidget(m_locations, 1);
        layout->addLayout(row);
        connect(add, &QPushButton::clicked, this, [this] {
            if (m_locations->count() >= kMaxLocations) {
                uikit::MessageBox("10 is the maximal number of the destination items.", "Quillmark");
                return;
            }
            if (auto chosen = uikit::ChooseFolder(
                    {"Select Location", "Select folder or drive where encrypted files reside.", {}}))
                if (m_locations->findItems(Q(*chosen), Qt::MatchExactly).isEmpty())
                    m_locations->addItem(Q(*chosen));
        });
        connect(remove, &QPushButton::clicked, this, [this] { qDeleteAll(m_locations->selectedItems()); });
    }
    setPage(kLocationsPage, locationsPage);

    auto* keysPage = new QWizardPage(this);
    keysPage->setTitle(tr("Key pair and session key"));
    keysPage->setSubTitle(tr("A key pair lets others encrypt files for you; the session key lets scheduled "
                             "tasks run while you are logged in. Both can wait."));
    {
        auto* layout = new QVBoxLayout(keysPage);
        m_generate = new QPushButton(tr("&Generate a key pair..."), keysPage);
        auto* session = new QPushButton(tr("Set the &session key..."), keysPage);
        auto* row = new QHBoxLayout;
        row->addWidget(m_generate);
        row->addWidget(session);
        row->addStretch();
        layout->addLayout(row);
        m_summary = Text(QString(), keysPage);
        m_summary->setObjectName(QStringLiteral("summary"));
        layout->addWidget(m_summary);
        layout->addStretch();
        m_generate->setEnabled(static_cast<bool>(GetKeyPairGenerator()));
        if (!GetKeyPairGenerator())
            m_generate->setToolTip(tr("Key pairs are made from the Keys workspace of the Control Center."));
        connect(m_generate, &QPushButton::clicked, this, [this] {
            if (const auto& generate = GetKeyPairGenerator(); generate && generate(this) == 12325)
                m_done << tr("Key pair generated.");
        });
        connect(session, &QPushButton::clicked, this, [] {
            shellkit::ShowCustomPrefsDlg("Session key", {shellkit::kPageSessionKey}, {}, "qmcenter", 0,
                                         nullptr);
        });
    }
    setPage(kKeysPage, keysPage);

    connect(this, &QWizard::customButtonClicked, this, [this](int which) {
        if (which == QWizard::CustomButton1)
            Skip();
    });
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        button(QWizard::CustomButton1)->setVisible(id != kKeysPage);
        if (id == kKeyFilePage && m_keyFile->text().isEmpty())
            m_keyFile->setText(Q(misckit::GetKeyFolder()) + "my key.qmk");
        if (id == kKeysPage)
            m_summary->setText(m_done.isEmpty() ? tr("Nothing was changed.") : m_done.join('\n'));
    });
    connect(this, &QWizard::helpRequested, this, [] { misckit::ShowHelpTopic("/qmhelp/quickstart.htm"); });
    resize(600, 420);
    new misckit::CWindowMemory(this, QStringLiteral("QuickStart"));
}

void CQuickStartWizard::Skip() {
    m_skipping = true;
    next();
    m_skipping = false;
}

bool CQuickStartWizard::validateCurrentPage() {
    return m_skipping || ApplyPage(currentId());
}

bool CQuickStartWizard::ApplyPage(int id) {
    std::string error;
    switch (id) {
    case kKeyFolderPage:
        if (!ApplyKeyFolder(m_folder->text().trimmed().toStdString(), error))
            break;
        m_done << tr("Key folder: %1").arg(m_folder->text().trimmed());
        m_keyFile->clear(); // offered again inside the folder just chosen
        return true;
    case kKeyFilePage:
        if (!m_createKey->isChecked())
            return true;
        if (!CreateFirstKeyFile(m_keyFile->text().trimmed().toStdString(), error))
            break;
        m_done << tr("Key file created: %1").arg(m_keyFile->text().trimmed());
        return true;
    case kLocationsPage: {
        std::vector<std::string> folders;
        for (int i = 0; i < m_locations->count(); ++i)
            folders.push_back(m_locations->item(i)->text().toStdString());
        if (!SaveLocations(folders, error))
            break;
        m_done << tr("%1 location(s) to scan.").arg(m_locations->count());
        return true;
    }
    default:
        return true;
    }
    uikit::MessageBox(error, "Quick Start", uikit::Buttons::OK, uikit::Icon::Warning);
    return false;
}

int QtQuickStartWindow::Run(void* owner) {
    CQuickStartWizard wizard(owner ? static_cast<QWidget*>(owner) : QApplication::activeWindow());
    return wizard.exec() == QDialog::Accepted ? 1 : 0;
}

} // namespace wizkit
