#include "shellkit/dialogs/EncryptionWizard.h"

#include "misckit/Help.h"
#include "misckit/Registry.h"
#include "misckit/SessionKey.h"
#include "misckit/dialogs/WindowMemory.h"
#include "shellkit/PrefsChecks.h"
#include "shellkit/dialogs/AlgorithmBox.h"
#include "shellkit/dialogs/PathField.h"
#include "uikit/Ui.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWizardPage>

namespace shellkit {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* Text(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

bool HasSessionKey(const SESSIONKEY_* key) {
    return key && ((key->nKind == kSessionKeyPassword && key->nPasswordLength > 0) ||
                   (key->nKind == kSessionKeyFile && key->szKeyFile[0]));
}

} // namespace

// The first page is complete once something is listed.
class CWizardFilesPage : public QWizardPage {
public:
    explicit CWizardFilesPage(CEncryptionWizard* wizard) : m_wizard(wizard) {}
    bool isComplete() const override { return m_wizard->m_files->count() > 0; }
    void Changed() { emit completeChanged(); }

private:
    CEncryptionWizard* m_wizard;
};

// The last page runs the work as soon as it is shown.
class CWizardProgressPage : public QWizardPage {
public:
    explicit CWizardProgressPage(CEncryptionWizard* wizard) : m_wizard(wizard) {}
    void initializePage() override {
        QTimer::singleShot(0, m_wizard, [w = m_wizard] { w->RunWork(); });
    }
    bool isComplete() const override { return m_wizard->m_done; }
    void Changed() { emit completeChanged(); }

private:
    CEncryptionWizard* m_wizard;
};

CEncryptionWizard::CEncryptionWizard(const EncWizRequest& request, QWidget* parent)
    : QWizard(parent), m_sessionKey(request.sessionKey) {
    setWindowTitle(tr("Encryption Wizard"));
    setObjectName(QStringLiteral("EncryptionWizard"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnLastPage);
    setOption(QWizard::HaveHelpButton);
    const CQMRegistry settings;

    // Files.
    auto* files = new CWizardFilesPage(this);
    files->setTitle(tr("Files to encrypt"));
    files->setSubTitle(tr("Add the files and folders to encrypt. A folder brings every file in it."));
    {
        auto* layout = new QVBoxLayout(files);
        auto* label = new QLabel(tr("&Files and folders:"), files);
        m_files = new QListWidget(files);
        m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
        label->setBuddy(m_files);
        auto* buttons = new QHBoxLayout;
        auto* addFiles = new QPushButton(tr("Add &files..."), files);
        auto* addFolder = new QPushButton(tr("Add f&older..."), files);
        auto* remove = new QPushButton(tr("&Remove"), files);
        for (QPushButton* b : {addFiles, addFolder, remove}) {
            b->setAutoDefault(false);
            buttons->addWidget(b);
        }
        buttons->addStretch();
        layout->addWidget(label);
        layout->addWidget(m_files, 1);
        layout->addLayout(buttons);
        connect(addFiles, &QPushButton::clicked, this, [this] {
            uikit::FileRequest r;
            r.title = "Add files to encrypt";
            r.filter = "All Files (*.*)|*.*||";
            r.flags = uikit::kFileMustExist | uikit::kMultiSelect;
            if (auto chosen = uikit::ChooseFiles(r))
                AddPaths(*chosen);
        });
        connect(addFolder, &QPushButton::clicked, this, [this] {
            if (auto chosen = uikit::ChooseFolder({"Quillmark", "Select a folder to encrypt", {}}))
                AddPaths({*chosen});
        });
        connect(remove, &QPushButton::clicked, this, [this, files] {
            qDeleteAll(m_files->selectedItems());
            files->Changed();
        });
    }
    setPage(kFilesPage, files);

    // Key.
    auto* key = new QWizardPage(this);
    key->setTitle(tr("Key"));
    key->setSubTitle(tr("Choose what opens the encrypted files. Without it they cannot be opened again."));
    {
        auto* form = new QFormLayout(key);
        m_usePassword = new QRadioButton(tr("&Password"), key);
        form->addRow(m_usePassword);
        m_password = new QLineEdit(key);
        m_password->setEchoMode(QLineEdit::Password);
        m_confirm = new QLineEdit(key);
        m_confirm->setEchoMode(QLineEdit::Password);
        auto* passwordLabel = new QLabel(tr("Pass&word:"), key);
        passwordLabel->setBuddy(m_password);
        auto* confirmLabel = new QLabel(tr("&Confirm:"), key);
        confirmLabel->setBuddy(m_confirm);
        m_strength = new QLabel(key);
        m_strength->setObjectName(QStringLiteral("strength"));
        form->addRow(passwordLabel, m_password);
        form->addRow(confirmLabel, m_confirm);
        form->addRow(QString(), m_strength);
        m_useKeyFile = new QRadioButton(tr("&Key file"), key);
        form->addRow(m_useKeyFile);
        m_keyFile = new QLineEdit(key);
        m_chooseKeyFile = MakeChooserButton(key, tr("Choose the key file"));
        auto* keyRow = new QHBoxLayout;
        keyRow->addWidget(m_keyFile, 1);
        keyRow->addWidget(m_chooseKeyFile);
        auto* keyLabel = new QLabel(tr("Key &file:"), key);
        keyLabel->setBuddy(m_keyFile);
        form->addRow(keyLabel, keyRow);
        m_useSessionKey = new QRadioButton(tr("The &session key"), key);
        m_useSessionKey->setEnabled(HasSessionKey(m_sessionKey));
        form->addRow(m_useSessionKey);
        m_usePassword->setChecked(true);
        auto update = [this] {
            m_password->setEnabled(m_usePassword->isChecked());
            m_confirm->setEnabled(m_usePassword->isChecked());
            m_keyFile->setEnabled(m_useKeyFile->isChecked());
            m_chooseKeyFile->setEnabled(m_useKeyFile->isChecked());
        };
        update();
        connect(m_usePassword, &QRadioButton::toggled, this, update);
        connect(m_useKeyFile, &QRadioButton::toggled, this, update);
        connect(m_password, &QLineEdit::textChanged, this, [this](const QString& text) {
            const std::string hint = PasswordStrengthHint(text.toStdString());
            m_strength->setText(hint.empty() ? QString() : tr("Strength: %1").arg(Q(hint)));
        });
        connect(m_chooseKeyFile, &QToolButton::clicked, this, [this] {
            SESSIONKEY_ chosen{};
            // Offers an existing key file or makes a new one.
            if (misckit::GTK(&chosen, static_cast<unsigned char>(m_code->Code())))
                m_keyFile->setText(Q(chosen.szKeyFile));
            misckit::WipeSessionKey(chosen);
        });
    }
    setPage(kKeyPage, key);

    // Options.
    auto* options = new QWizardPage(this);
    options->setTitle(tr("Options"));
    options->setSubTitle(tr("How the files are encrypted and where the result goes."));
    {
        auto* layout = new QVBoxLayout(options);
        auto* form = new QFormLayout;
        m_code = new CAlgorithmBox(options);
        m_code->SetCode(settings.GetMode());
        auto* codeLabel = new QLabel(tr("&Algorithm and mode:"), options);
        codeLabel->setBuddy(m_code);
        form->addRow(codeLabel, m_code);
        layout->addLayout(form);
        m_compress = new QCheckBox(tr("&Compress before encrypting"), options);
        m_compress->setChecked(settings.GetCompress());
        layout->addWidget(m_compress);
        m_wipe = new QCheckBox(
            tr("&Wipe the original files afterwards (%1 rounds)").arg(settings.GetWipeRounds()), options);
        layout->addWidget(m_wipe);
        m_wipeNote = Text(Q(WipingLimitsText()), options);
        m_wipeNote->setVisible(false);
        layout->addWidget(m_wipeNote);
        m_perFile = new QRadioButton(tr("One encrypted &file per source, beside it"), options);
        m_oneArchive = new QRadioButton(tr("One a&rchive:"), options);
        m_perFile->setChecked(true);
        layout->addWidget(m_perFile);
        m_archive = new QLineEdit(options);
        m_archive->setAccessibleName(tr("Archive"));
        m_chooseArchive = MakeChooserButton(options, tr("Choose the archive"));
        auto* archiveRow = new QHBoxLayout;
        archiveRow->addWidget(m_oneArchive);
        archiveRow->addWidget(m_archive, 1);
        archiveRow->addWidget(m_chooseArchive);
        layout->addLayout(archiveRow);
        layout->addStretch();
        auto update = [this] {
            m_archive->setEnabled(m_oneArchive->isChecked());
            m_chooseArchive->setEnabled(m_oneArchive->isChecked());
        };
        update();
        connect(m_oneArchive, &QRadioButton::toggled, this, update);
        connect(m_wipe, &QCheckBox::toggled, m_wipeNote, &QLabel::setVisible);
        connect(m_code, &CAlgorithmBox::codeChosen, this,
                [this](int code) { ExplainDiscouragedOnce(code, m_noteShown); });
        connect(m_chooseArchive, &QToolButton::clicked, this, [this] {
            uikit::FileRequest r;
            r.save = true;
            r.title = "Enter archive name";
            r.filter = "Quillmark archives (*.qma)|*.qma||";
            r.defaultExtension = "qma";
            r.initialPath = m_archive->text().toStdString();
            if (auto chosen = uikit::ChooseFiles(r); chosen && !chosen->empty())
                m_archive->setText(Q(chosen->front()));
        });
    }
    setPage(kOptionsPage, options);

    // Progress.
    auto* progress = new CWizardProgressPage(this);
    progress->setTitle(tr("Encrypting"));
    {
        auto* layout = new QVBoxLayout(progress);
        m_current = Text(QString(), progress);
        m_current->setObjectName(QStringLiteral("current"));
        m_bar = new QProgressBar(progress);
        m_bar->setAccessibleName(tr("Progress"));
        m_summary = Text(QString(), progress);
        m_summary->setObjectName(QStringLiteral("summary"));
        layout->addWidget(m_current);
        layout->addWidget(m_bar);
        layout->addWidget(m_summary);
        layout->addStretch();
    }
    setPage(kProgressPage, progress);

    connect(this, &QWizard::helpRequested, this, [] { misckit::ShowHelpTopic("/qmhelp/encwiz.htm"); });
    AddPaths(request.startPaths);
    resize(600, 460);
    new misckit::CWindowMemory(this, QStringLiteral("EncryptionWizard"));
}

CEncryptionWizard::~CEncryptionWizard() {
    m_password->clear();
    m_confirm->clear();
}

void CEncryptionWizard::AddPaths(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        if (!m_files->findItems(Q(path), Qt::MatchExactly).isEmpty())
            continue;
        m_files->addItem(Q(path));
    }
    static_cast<CWizardFilesPage*>(page(kFilesPage))->Changed();
}

EncryptionPlan CEncryptionWizard::Plan() const {
    EncryptionPlan plan;
    for (int i = 0; i < m_files->count(); ++i)
        plan.sources.push_back(m_files->item(i)->text().toStdString());
    if (m_useSessionKey->isChecked() && HasSessionKey(m_sessionKey)) {
        plan.keyFile = m_sessionKey->nKind == kSessionKeyFile;
        plan.key = plan.keyFile ? std::string(m_sessionKey->szKeyFile)
                                : std::string(m_sessionKey->szPassword,
                                              static_cast<std::size_t>(m_sessionKey->nPasswordLength));
    } else if (m_useKeyFile->isChecked()) {
        plan.keyFile = true;
        plan.key = m_keyFile->text().toStdString();
    } else {
        plan.key = m_password->text().toStdString();
    }
    plan.algorithmMode = m_code->Code();
    plan.compress = m_compress->isChecked();
    plan.wipe = m_wipe->isChecked();
    plan.wipeRounds = CQMRegistry().GetWipeRounds();
    plan.toArchive = m_oneArchive->isChecked();
    plan.archive = m_archive->text().trimmed().toStdString();
    return plan;
}

bool CEncryptionWizard::validateCurrentPage() {
    auto refuse = [](const std::string& text, QWidget* field) {
        uikit::MessageBox(text, "Encryption Wizard", uikit::Buttons::OK, uikit::Icon::Information);
        if (field)
            field->setFocus();
        return false;
    };
    switch (currentId()) {
    case kKeyPage:
        if (m_usePassword->isChecked()) {
            if (m_password->text().isEmpty())
                return refuse("Please enter a password.", m_password);
            if (m_password->text() != m_confirm->text())
                return refuse("The passwords do not match. Please type them again.", m_confirm);
        } else if (m_useKeyFile->isChecked() && !QFileInfo(m_keyFile->text()).isFile()) {
            return refuse("Please choose an existing key file.", m_keyFile);
        }
        return true;
    case kOptionsPage:
        if (m_oneArchive->isChecked()) {
            const QString archive = m_archive->text().trimmed();
            if (!archive.startsWith('/'))
                return refuse("Please enter the full path of the archive.", m_archive);
            if (!archive.endsWith(QStringLiteral(".qma"), Qt::CaseInsensitive))
                m_archive->setText(archive + ".qma");
            std::string error;
            if (!CheckFileCanBeCreated(m_archive->text().toStdString(), "Archive", error))
                return refuse(error, m_archive);
        }
        if (m_wipe->isChecked()) {
            uikit::Message message;
            message.text =
                std::string(WipingLimitsText()) + "\n\nWipe the original files after encrypting them?";
            message.caption = "Encryption Wizard";
            message.buttons = uikit::Buttons::YesNo;
            message.icon = uikit::Icon::Question;
            if (uikit::ShowMessage(message) != uikit::Answer::Yes)
                return false;
        }
        return true;
    default:
        return true;
    }
}

void CEncryptionWizard::RunWork() {
    if (m_running || m_done)
        return;
    m_running = true;
    m_cancel = false;
    button(QWizard::CancelButton)->setEnabled(true);
    const EncryptionPlan plan = Plan();
    m_outcome = RunEncryption(plan, [this](const std::string& current, int done, int total) {
        m_bar->setRange(0, std::max(total, 1));
        m_bar->setValue(done);
        m_current->setText(current.empty() ? QString() : tr("Encrypting %1").arg(Q(current)));
        uikit::PumpMessages();
        return !m_cancel;
    });
    m_running = false;
    m_done = true;
    m_current->clear();
    if (m_outcome.cancelled)
        m_summary->setText(tr("Cancelled. Nothing was written and no file was wiped."));
    else
        m_summary->setText(tr("%1 encrypted file(s) written, %2 problem(s).")
                               .arg(m_outcome.written.size())
                               .arg(m_outcome.failures.size()));
    if (!m_outcome.failures.empty())
        uikit::ShowList("These files were not encrypted:", m_outcome.failures);
    button(QWizard::CancelButton)->setEnabled(false);
    static_cast<CWizardProgressPage*>(page(kProgressPage))->Changed();
}

void CEncryptionWizard::reject() {
    // Cancel during the work stops it; the run then removes what it wrote.
    if (m_running) {
        m_cancel = true;
        return;
    }
    QWizard::reject();
}

} // namespace shellkit
