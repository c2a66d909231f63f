#include "shellkit/dialogs/PrefsDialog.h"

#include "misckit/Help.h"
#include "misckit/dialogs/WindowMemory.h"
#include "uikit/Ui.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace shellkit {

CPrefsDialog::CPrefsDialog(const PrefsRequest& request, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(request.title.empty() ? "Preferences" : request.title));
    setObjectName(QStringLiteral("PreferencesWindow"));
    m_list = new QListWidget(this);
    m_list->setAccessibleName(tr("Pages"));
    m_stack = new QStackedWidget(this);
    for (int number : request.pages) {
        // A page asked for twice is shown once.
        bool seen = false;
        for (CPrefsPage* page : m_pages)
            seen = seen || page->property("pageNumber").toInt() == number;
        if (seen)
            continue;
        std::unique_ptr<CPrefsPage> page = MakePrefsPage(number, m_context);
        if (!page)
            continue;
        page->setProperty("pageNumber", number);
        page->setObjectName(page->Title());
        page->Load();
        m_list->addItem(page->Title());
        m_pages.push_back(page.get());
        m_stack->addWidget(page.release());
    }
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::Apply | QDialogButtonBox::Help,
                                     this);
    m_buttons->button(QDialogButtonBox::Apply)->setEnabled(false);

    auto* body = new QHBoxLayout;
    body->addWidget(m_list);
    body->addWidget(m_stack, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(m_buttons);
    // A window of one page needs no list.
    m_list->setVisible(m_pages.size() > 1);
    m_list->setMaximumWidth(m_list->sizeHintForColumn(0) + 2 * m_list->frameWidth() + 24);

    connect(m_list, &QListWidget::currentRowChanged, m_stack, &QStackedWidget::setCurrentIndex);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CPrefsDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CPrefsDialog::reject);
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] {
        if (Apply())
            m_buttons->button(QDialogButtonBox::Apply)->setEnabled(false);
    });
    connect(m_buttons, &QDialogButtonBox::helpRequested, this,
            [] { misckit::ShowHelpTopic("/qmhelp/prefs.htm"); });
    for (CPrefsPage* page : m_pages)
        connect(page, &CPrefsPage::changed, this,
                [this] { m_buttons->button(QDialogButtonBox::Apply)->setEnabled(true); });
    if (!m_pages.empty())
        m_list->setCurrentRow(0);
    // A window of one page ("Session key") is smaller and remembers its own size.
    if (m_pages.size() == 1) {
        resize(560, 240);
        new misckit::CWindowMemory(this,
                                   QStringLiteral("Preferences") + m_pages.front()->Title().remove(' '));
    } else {
        resize(680, 440);
        new misckit::CWindowMemory(this, QStringLiteral("Preferences"));
    }
}

CPrefsDialog::~CPrefsDialog() = default;

int CPrefsDialog::CurrentPage() const {
    return m_stack->currentIndex();
}

void CPrefsDialog::ShowPage(int index) {
    m_list->setCurrentRow(index);
}

bool CPrefsDialog::Apply() {
    for (int i = 0; i < PageCount(); ++i) {
        QString error;
        QWidget* field = nullptr;
        if (!Page(i)->Check(error, field)) {
            ShowPage(i);
            if (field)
                field->setFocus();
            uikit::MessageBox(error.toStdString(), windowTitle().toStdString(), uikit::Buttons::OK,
                              uikit::Icon::Warning);
            return false;
        }
    }
    for (int i = 0; i < PageCount(); ++i)
        if (!Page(i)->Save()) {
            ShowPage(i);
            uikit::MessageBox("The settings of the page \"" + Page(i)->Title().toStdString() +
                                  "\" could not be saved. Check that your settings folder is writable.",
                              windowTitle().toStdString(), uikit::Buttons::OK, uikit::Icon::Warning);
            return false;
        }
    return true;
}

void CPrefsDialog::accept() {
    if (Apply())
        QDialog::accept();
}

} // namespace shellkit
