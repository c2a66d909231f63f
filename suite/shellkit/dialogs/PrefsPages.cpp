#include "shellkit/dialogs/PrefsPages.h"

#include "misckit/HiddenMessages.h"
#include "misckit/Registry.h"
#include "misckit/SessionKey.h"
#include "shellkit/PrefsChecks.h"
#include "shellkit/ShellWindows.h"
#include "shellkit/dialogs/AlgorithmBox.h"
#include "shellkit/dialogs/PathField.h"
#include "uikit/ShellInfo.h"
#include "uikit/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstring>

namespace shellkit {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

const CQMRegistry& Settings() {
    static const CQMRegistry settings;
    return settings;
}

QCheckBox* AddCheck(QVBoxLayout* layout, const QString& text, QWidget* page) {
    auto* box = new QCheckBox(text, page);
    layout->addWidget(box);
    QObject::connect(box, &QCheckBox::toggled, page,
                     [page] { emit static_cast<CPrefsPage*>(page)->changed(); });
    return box;
}

QLabel* AddText(QVBoxLayout* layout, const QString& text, QWidget* page) {
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(label);
    return label;
}

bool WriteByte(const char* name, bool on) {
    return Settings().WriteBYTE(name, on ? 1 : 0) != 0;
}

// ---- 1 General ----------------------------------------------------------------------------------

class GeneralPage : public CPrefsPage {
public:
    explicit GeneralPage(PrefsContext& context) : m_context(context) {
        auto* layout = new QVBoxLayout(this);
        m_overwrite = AddCheck(layout, tr("&Overwrite existing encrypted files without asking"), this);
        m_restore = AddCheck(layout, tr("&Restore file times when decrypting"), this);
        auto* row = new QFormLayout;
        m_code = new CAlgorithmBox(this);
        auto* label = new QLabel(tr("Default &algorithm and mode:"), this);
        label->setBuddy(m_code);
        row->addRow(label, m_code);
        layout->addLayout(row);
        AddText(
            layout,
            tr("New encrypted files and archives use this algorithm and mode unless you choose another in "
               "the encryption wizard or a task. Files are always opened with the algorithm they were "
               "written with."),
            this);
        layout->addStretch();
        connect(m_code, &CAlgorithmBox::codeChosen, this, [this](int code) {
            if (!m_loading)
                ExplainDiscouragedOnce(code, m_context.discouragedNoteShown);
            emit changed();
        });
    }
    QString Title() const override { return tr("General"); }
    void Load() override {
        m_loading = true;
        m_overwrite->setChecked(Settings().GetOutOverwrite());
        m_restore->setChecked(Settings().GetRestoreTime());
        m_code->SetCode(Settings().GetMode());
        m_loading = false;
    }
    bool Save() override {
        return WriteByte("OutOverwrite", m_overwrite->isChecked()) &&
               WriteByte("RestoreTime", m_restore->isChecked()) &&
               Settings().WriteBYTE("Mode", static_cast<unsigned char>(m_code->Code()));
    }

private:
    PrefsContext& m_context;
    QCheckBox* m_overwrite;
    QCheckBox* m_restore;
    CAlgorithmBox* m_code;
    bool m_loading = false;
};

// ---- 2 Archives ---------------------------------------------------------------------------------

class ArchivesPage : public CPrefsPage {
public:
    ArchivesPage() {
        auto* layout = new QVBoxLayout(this);
        auto* form = new QFormLayout;
        m_policy = new QComboBox(this);
        m_policy->addItems({tr("Keep the entry in the archive"), tr("Replace the entry"),
                            tr("Replace the entry when the file is newer"), tr("Ask me each time")});
        auto* policyLabel = new QLabel(tr("When a file is already in the &archive:"), this);
        policyLabel->setBuddy(m_policy);
        form->addRow(policyLabel, m_policy);
        layout->addLayout(form);
        m_recurse = AddCheck(layout, tr("Add folders with their &subfolders"), this);
        m_compress = AddCheck(layout, tr("&Compress files before encrypting"), this);
        auto* extLabel = new QLabel(tr("&Extensions not compressed (already compressed formats):"), this);
        m_exts = new QLineEdit(this);
        m_exts->setPlaceholderText(QStringLiteral("zip;jpg;png"));
        extLabel->setBuddy(m_exts);
        layout->addWidget(extLabel);
        layout->addWidget(m_exts);
        layout->addStretch();
        connect(m_policy, &QComboBox::currentIndexChanged, this, &CPrefsPage::changed);
        connect(m_exts, &QLineEdit::textEdited, this, &CPrefsPage::changed);
    }
    QString Title() const override { return tr("Archives"); }
    void Load() override {
        m_policy->setCurrentIndex(Settings().GetInOverwrite());
        m_recurse->setChecked(Settings().GetRecDirs());
        m_compress->setChecked(Settings().GetCompress());
        m_exts->setText(Q(Settings().GetExtsNotCompress()));
    }
    bool Check(QString& error, QWidget*& field) override {
        std::string why;
        if (CheckExtensionList(m_exts->text().toStdString(), why))
            return true;
        error = Q(why);
        field = m_exts;
        return false;
    }
    bool Save() override {
        return Settings().WriteBYTE("InOverwrite", static_cast<unsigned char>(m_policy->currentIndex())) &&
               WriteByte("RecDirs", m_recurse->isChecked()) &&
               WriteByte("Compress", m_compress->isChecked()) &&
               Settings().WriteString("ExtsNotCompress",
                                      NormalizeExtensionList(m_exts->text().toStdString()));
    }

private:
    QComboBox* m_policy;
    QCheckBox* m_recurse;
    QCheckBox* m_compress;
    QLineEdit* m_exts;
};

// ---- 3 Paths ------------------------------------------------------------------------------------

class PathsPage : public CPrefsPage {
public:
    PathsPage() {
        auto* layout = new QVBoxLayout(this);
        AddText(
            layout,
            tr("Where Quillmark keeps your key files and key rings. Missing folders are created, readable "
               "by you only."),
            this);
        auto* form = new QFormLayout;
        m_folder = AddRow(form, tr("&Key folder:"), tr("Choose the key folder"), true);
        m_pub = AddRow(form, tr("&Public key ring:"), tr("Choose the public key ring"), false);
        m_priv = AddRow(form, tr("P&rivate key ring:"), tr("Choose the private key ring"), false);
        layout->addLayout(form);
        layout->addStretch();
    }
    QString Title() const override { return tr("Paths"); }
    void Load() override {
        std::string value;
        m_folder->setText(Settings().ReadStringEx(encreg::szKeyFolder, value) ? Q(value) : QString());
        m_pub->setText(Settings().ReadStringEx(encreg::szPubKeyFile, value) ? Q(value) : QString());
        m_priv->setText(Settings().ReadStringEx(encreg::szPrivKeyFile, value) ? Q(value) : QString());
    }
    bool Check(QString& error, QWidget*& field) override {
        std::string why;
        if (!CheckFolderCanBeCreated(m_folder->text().trimmed().toStdString(), "Key folder", why))
            field = m_folder;
        else if (!CheckFileCanBeCreated(m_pub->text().trimmed().toStdString(), "Public key ring", why))
            field = m_pub;
        else if (!CheckFileCanBeCreated(m_priv->text().trimmed().toStdString(), "Private key ring", why))
            field = m_priv;
        else
            return true;
        error = Q(why);
        return false;
    }
    bool Save() override {
        std::string folder = m_folder->text().trimmed().toStdString();
        if (folder.back() != '/')
            folder += '/';
        return Settings().WriteString(encreg::szKeyFolder, folder) &&
               Settings().WriteString(encreg::szPubKeyFile, m_pub->text().trimmed().toStdString()) &&
               Settings().WriteString(encreg::szPrivKeyFile, m_priv->text().trimmed().toStdString());
    }

private:
    QLineEdit* AddRow(QFormLayout* form, const QString& label, const QString& chooseName, bool folder) {
        auto* edit = new QLineEdit(this);
        auto* choose = MakeChooserButton(this, chooseName);
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(choose);
        auto* title = new QLabel(label, this);
        title->setBuddy(edit);
        form->addRow(title, row);
        connect(edit, &QLineEdit::textEdited, this, &CPrefsPage::changed);
        connect(choose, &QToolButton::clicked, this, [this, edit, chooseName, folder] {
            if (folder) {
                uikit::FolderRequest request{"Quillmark", chooseName.toStdString(),
                                             edit->text().toStdString()};
                if (auto chosen = uikit::ChooseFolder(request))
                    edit->setText(Q(*chosen));
            } else {
                uikit::FileRequest request;
                request.save = true; // a ring that does not exist yet is created on first use
                request.title = chooseName.toStdString();
                request.filter = "Quillmark key rings (*.qkr)|*.qkr|All Files (*.*)|*.*||";
                request.defaultExtension = "qkr";
                request.initialPath = edit->text().toStdString();
                if (auto chosen = uikit::ChooseFiles(request); chosen && !chosen->empty())
                    edit->setText(Q(chosen->front()));
            }
            emit changed();
        });
        return edit;
    }

    QLineEdit* m_folder;
    QLineEdit* m_pub;
    QLineEdit* m_priv;
};

// ---- 4 Key server -------------------------------------------------------------------------------

class KeyServerPage : public CPrefsPage {
public:
    KeyServerPage() {
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel(tr("Key &server address:"), this);
        m_address = new QLineEdit(this);
        m_address->setPlaceholderText(QStringLiteral("https://keys.example.org"));
        label->setBuddy(m_address);
        layout->addWidget(label);
        layout->addWidget(m_address);
        m_plainHttp = AddCheck(
            layout, tr("Allow plain &HTTP (only for a server on this machine or a closed network)"), this);
        AddText(layout,
                tr("Over plain HTTP anyone on the way can read which keys you look for and hand you a false "
                   "key. Leave this off for a server on the Internet."),
                this);
        m_mailPlain = AddCheck(layout, tr("Allow &mail passwords without TLS"), this);
        AddText(
            layout,
            tr("Mail tasks send their login only over an encrypted connection. With this on, a server that "
               "offers no encryption receives the password readable, and each such run is logged."),
            this);
        layout->addStretch();
        connect(m_address, &QLineEdit::textEdited, this, &CPrefsPage::changed);
    }
    QString Title() const override { return tr("Key server"); }
    void Load() override {
        m_address->setText(Q(Settings().GetKeyServer()));
        m_plainHttp->setChecked(Settings().GetAllowPlainHttp());
        m_mailPlain->setChecked(Settings().GetMailPlainAuth());
    }
    bool Check(QString& error, QWidget*& field) override {
        std::string why;
        if (CheckKeyServerAddress(m_address->text().trimmed().toStdString(), m_plainHttp->isChecked(), why))
            return true;
        error = Q(why);
        field = m_address;
        return false;
    }
    bool Save() override {
        return Settings().WriteString(encreg::szKeyServer, m_address->text().trimmed().toStdString()) &&
               WriteByte(encreg::szKeyServerPlainHttp, m_plainHttp->isChecked()) &&
               WriteByte(encreg::szMailPlainAuth, m_mailPlain->isChecked());
    }

private:
    QLineEdit* m_address;
    QCheckBox* m_plainHttp;
    QCheckBox* m_mailPlain;
};

// ---- 5 Session key ------------------------------------------------------------------------------

// The session key is handed to keeper at once by its buttons; OK and Cancel do not undo that.
class SessionKeyPage : public CPrefsPage {
public:
    SessionKeyPage() {
        auto* layout = new QVBoxLayout(this);
        AddText(
            layout,
            tr("The session key is the password or key file that scheduled tasks use while you are logged "
               "in. The scheduler keeps it in memory only; it is never written to disk and never shown."),
            this);
        m_state = new QLabel(this);
        m_state->setObjectName(QStringLiteral("sessionKeyState"));
        QFont bold = m_state->font();
        bold.setBold(true);
        m_state->setFont(bold);
        layout->addWidget(m_state);
        auto* buttons = new QHBoxLayout;
        m_password = new QPushButton(tr("Set &password..."), this);
        m_keyFile = new QPushButton(tr("Use &key file..."), this);
        m_clear = new QPushButton(tr("C&lear session key"), this);
        buttons->addWidget(m_password);
        buttons->addWidget(m_keyFile);
        buttons->addWidget(m_clear);
        buttons->addStretch();
        layout->addLayout(buttons);
        layout->addStretch();
        connect(m_password, &QPushButton::clicked, this, [this] { SetKey(false); });
        connect(m_keyFile, &QPushButton::clicked, this, [this] { SetKey(true); });
        connect(m_clear, &QPushButton::clicked, this, [this] {
            if (ISessionKeyHolder* holder = SessionKeyHolder())
                holder->Clear();
            Load();
        });
    }
    QString Title() const override { return tr("Session key"); }
    void Load() override {
        ISessionKeyHolder* holder = SessionKeyHolder();
        const bool set = holder && holder->IsSet();
        m_state->setText(!holder ? tr("The scheduler cannot be reached from this program.")
                         : set   ? tr("A session key is set.")
                                 : tr("No session key is set."));
        m_password->setText(set ? tr("Change &password...") : tr("Set &password..."));
        m_password->setEnabled(holder);
        m_keyFile->setEnabled(holder);
        m_clear->setEnabled(set);
    }
    bool Save() override { return true; }

private:
    void SetKey(bool keyFile) {
        ISessionKeyHolder* holder = SessionKeyHolder();
        if (!holder)
            return;
        SESSIONKEY_ key{};
        const int ok = keyFile ? misckit::GTK(&key, Settings().GetMode()) : misckit::GTP(&key);
        if (ok) {
            std::string error;
            if (!holder->Set(key, error))
                uikit::MessageBox(error.empty() ? "Cannot set session key." : error, "Session key",
                                  uikit::Buttons::OK, uikit::Icon::Warning);
        }
        misckit::WipeSessionKey(key);
        Load();
    }

    QLabel* m_state;
    QPushButton* m_password;
    QPushButton* m_keyFile;
    QPushButton* m_clear;
};

// ---- 6 Scheduler --------------------------------------------------------------------------------

class SchedulerPage : public CPrefsPage {
public:
    SchedulerPage() {
        auto* layout = new QVBoxLayout(this);
        m_startup = AddCheck(layout, tr("Start Scheduler at &startup"), this);
        AddText(
            layout,
            tr("The scheduler runs your scheduled tasks in the background. With this on it starts when you "
               "log in, through an entry in your desktop's autostart folder."),
            this);
        layout->addStretch();
    }
    QString Title() const override { return tr("Scheduler"); }
    void Load() override { m_startup->setChecked(Startup().ValueExists(kSchedulerStartupEntry)); }
    bool Save() override {
        const CQMRegistry run = Startup();
        if (m_startup->isChecked() == (run.ValueExists(kSchedulerStartupEntry) != 0))
            return true;
        if (m_startup->isChecked())
            run.WriteString(kSchedulerStartupEntry, uikit::GetProgramFolder() + "keeper startup");
        else
            run.DeleteValue(kSchedulerStartupEntry);
        return (run.ValueExists(kSchedulerStartupEntry) != 0) == m_startup->isChecked();
    }

private:
    static CQMRegistry Startup() { return CQMRegistry(RegRoot::LocalMachine, encreg::szStartupRun); }
    QCheckBox* m_startup;
};

// ---- 7 Wiping -----------------------------------------------------------------------------------

class WipingPage : public CPrefsPage {
public:
    WipingPage() {
        auto* layout = new QVBoxLayout(this);
        auto* form = new QFormLayout;
        m_rounds = new QSpinBox(this);
        m_rounds->setRange(1, 35);
        auto* label = new QLabel(tr("Default wipe &rounds:"), this);
        label->setBuddy(m_rounds);
        form->addRow(label, m_rounds);
        layout->addLayout(form);
        AddText(layout, tr(WipingLimitsText()), this);
        layout->addStretch();
        connect(m_rounds, &QSpinBox::valueChanged, this, &CPrefsPage::changed);
    }
    QString Title() const override { return tr("Wiping"); }
    void Load() override { m_rounds->setValue(Settings().GetWipeRounds()); }
    bool Save() override {
        return Settings().WriteBYTE(encreg::szWipeRounds, static_cast<unsigned char>(m_rounds->value())) != 0;
    }

private:
    QSpinBox* m_rounds;
};

// ---- 8 Messages ---------------------------------------------------------------------------------

class MessagesPage : public CPrefsPage {
public:
    MessagesPage() {
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel(tr("&Show these messages (untick to keep one hidden):"), this);
        m_list = new QListWidget(this);
        m_list->setAccessibleName(tr("Messages"));
        label->setBuddy(m_list);
        layout->addWidget(label);
        layout->addWidget(m_list, 1);
        auto* all = new QPushButton(tr("Show &all messages again"), this);
        auto* row = new QHBoxLayout;
        row->addWidget(all);
        row->addStretch();
        layout->addLayout(row);
        m_noMessages =
            AddCheck(layout, tr("During unattended work, &report problems instead of asking"), this);
        connect(all, &QPushButton::clicked, this, [this] {
            for (int i = 0; i < m_list->count(); ++i)
                m_list->item(i)->setCheckState(Qt::Checked);
            emit changed();
        });
        connect(m_list, &QListWidget::itemChanged, this, &CPrefsPage::changed);
    }
    QString Title() const override { return tr("Messages"); }
    void Load() override {
        QSignalBlocker quiet(m_list);
        m_list->clear();
        for (const auto& message : misckit::HideableMessages()) {
            auto* item = new QListWidgetItem(tr(message.title), m_list);
            item->setData(Qt::UserRole, QString::fromLatin1(message.id));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(misckit::IsMessageHidden(message.id) ? Qt::Unchecked : Qt::Checked);
        }
        unsigned char noMessages = 0;
        m_noMessages->setChecked(Settings().ReadBYTEEx(encreg::szNoMes, noMessages) && noMessages);
    }
    bool Save() override {
        bool ok = true;
        for (int i = 0; i < m_list->count(); ++i) {
            const std::string id = m_list->item(i)->data(Qt::UserRole).toString().toStdString();
            ok = (m_list->item(i)->checkState() == Qt::Checked ? misckit::ShowMessageAgain(id)
                                                               : misckit::HideMessage(id)) &&
                 ok;
        }
        return WriteByte(encreg::szNoMes, m_noMessages->isChecked()) && ok;
    }

private:
    QListWidget* m_list;
    QCheckBox* m_noMessages;
};

} // namespace

std::unique_ptr<CPrefsPage> MakePrefsPage(int number, PrefsContext& context) {
    switch (number) {
    case kPageGeneral:
        return std::make_unique<GeneralPage>(context);
    case kPageArchives:
        return std::make_unique<ArchivesPage>();
    case kPagePaths:
        return std::make_unique<PathsPage>();
    case kPageKeyServer:
        return std::make_unique<KeyServerPage>();
    case kPageSessionKey:
        return std::make_unique<SessionKeyPage>();
    case kPageScheduler:
        return std::make_unique<SchedulerPage>();
    case kPageWiping:
        return std::make_unique<WipingPage>();
    case kPageMessages:
        return std::make_unique<MessagesPage>();
    default:
        return nullptr;
    }
}

} // namespace shellkit
