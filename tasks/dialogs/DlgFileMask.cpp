#include "tasks/dialogs/DlgFileMask.h"

#include "misckit/Help.h"
#include "tasks/model/FileMaskText.h"
#include "uikit/ShellInfo.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cctype>

namespace jobkit {

namespace {

QVBoxLayout* ButtonColumn(QWidget* parent,
                          std::initializer_list<std::pair<QString, std::function<void()>>> buttons) {
    auto* column = new QVBoxLayout;
    for (const auto& [text, action] : buttons) {
        auto* button = new QPushButton(text, parent);
        QObject::connect(button, &QPushButton::clicked, parent, action);
        column->addWidget(button);
    }
    column->addStretch();
    return column;
}

void Report(const std::string& format, const std::string& value) {
    const std::size_t at = format.find("%s");
    uikit::MessageBox(format.substr(0, at) + value + format.substr(at + 2), "Quillmark", uikit::Buttons::OK,
                      uikit::Icon::Information);
}

} // namespace

CDlgFileMask::CDlgFileMask(std::string mask, QWidget* parent) : QDialog(parent), m_mask(std::move(mask)) {
    setWindowTitle(tr("File mask"));
    auto* layout = new QVBoxLayout(this);

    auto* typeGroup = new QGroupBox(tr("File types"), this);
    auto* typeRow = new QHBoxLayout(typeGroup);
    m_types = new QTreeWidget(typeGroup);
    m_types->setHeaderLabels({tr("Extension"), tr("Type")});
    m_types->setRootIsDecorated(false);
    m_types->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_types->setAccessibleName(tr("File types"));
    typeRow->addWidget(m_types, 1);
    typeRow->addLayout(ButtonColumn(
        typeGroup, {{tr("&Add..."), [this] { AddType(); }}, {tr("&Remove"), [this] { RemoveTypes(); }}}));
    layout->addWidget(typeGroup);

    auto* customGroup = new QGroupBox(tr("Custom search criteria"), this);
    auto* customRow = new QHBoxLayout(customGroup);
    m_criteria = new QListWidget(customGroup);
    m_criteria->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_criteria->setAccessibleName(tr("Custom search criteria"));
    customRow->addWidget(m_criteria, 1);
    customRow->addLayout(ButtonColumn(customGroup, {{tr("A&dd..."), [this] { AddCriterion(); }},
                                                    {tr("&Edit..."), [this] { EditCriterion(); }},
                                                    {tr("Re&move"), [this] { RemoveCriteria(); }}}));
    layout->addWidget(customGroup);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [] { misckit::ShowHelpTopic("/qmhelp/TM/filemask_dlgbox.htm"); });
    Refill();
    resize(460, 420);
}

void CDlgFileMask::Refill() {
    m_types->clear();
    m_criteria->clear();
    for (const std::string& mask : filemask::Split(m_mask)) {
        if (filemask::IsFileType(mask)) {
            const std::string ext = filemask::Extension(mask);
            auto* row = new QTreeWidgetItem(m_types);
            row->setText(0, QString::fromStdString(ext));
            row->setText(1, QString::fromStdString(uikit::GetFileTypeName("example." + ext)));
        } else {
            m_criteria->addItem(QString::fromStdString(mask));
        }
    }
    m_types->resizeColumnToContents(0);
}

template <typename Change>
void CDlgFileMask::Guarded(Change change) {
    const std::string before = m_mask;
    try {
        change();
    } catch (const CUIException& e) {
        m_mask = before;
        e.ReportError("Quillmark");
    }
    Refill();
}

void CDlgFileMask::AddType() {
    uikit::FileRequest request;
    request.title = "Select file type";
    request.filter = "All files (*.*)|*.*||";
    request.flags = uikit::kFileMustExist;
    const auto chosen = uikit::ChooseFiles(request);
    if (!chosen || chosen->empty())
        return;
    const std::string& path = chosen->front();
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return; // a file without extension names no file type
    std::string mask = "*" + path.substr(dot);
    for (char& c : mask)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!filemask::Add(m_mask, mask))
        Report("This file type is already selected: %s", mask);
    Refill();
}

void CDlgFileMask::RemoveTypes() {
    Guarded([this] {
        for (QTreeWidgetItem* row : m_types->selectedItems())
            filemask::Remove(m_mask, "*." + row->text(0).toStdString(), "Cannot find file type.");
    });
}

void CDlgFileMask::AddCriterion() {
    CDlgAddFileMask dialog(false, {}, this);
    if (dialog.exec() != QDialog::Accepted || dialog.Mask().isEmpty())
        return;
    const std::string mask = dialog.Mask().toLower().toStdString();
    if (!filemask::Add(m_mask, mask))
        Report("This file mask already selected: %s", mask);
    Refill();
}

void CDlgFileMask::EditCriterion() {
    QListWidgetItem* current = m_criteria->currentItem();
    if (!current || !current->isSelected()) {
        uikit::MessageBox("Mask is not selected.", "Quillmark", uikit::Buttons::OK, uikit::Icon::Information);
        return;
    }
    CDlgAddFileMask dialog(true, current->text(), this);
    if (dialog.exec() != QDialog::Accepted || dialog.Mask().isEmpty())
        return;
    const std::string old = current->text().toStdString();
    const std::string mask = dialog.Mask().toLower().toStdString();
    if (mask == old)
        return;
    Guarded([&] {
        std::string text = m_mask;
        filemask::Remove(text, old, "Cannot find file mask.");
        if (!filemask::Add(text, mask)) {
            Report("This file mask already selected: %s", mask);
            return;
        }
        m_mask = text;
    });
}

void CDlgFileMask::RemoveCriteria() {
    Guarded([this] {
        for (QListWidgetItem* row : m_criteria->selectedItems())
            filemask::Remove(m_mask, row->text().toStdString(), "Cannot find file mask.");
    });
}

CDlgAddFileMask::CDlgAddFileMask(bool editing, const QString& mask, QWidget* parent) : QDialog(parent) {
    setWindowTitle(editing ? tr("Edit file mask") : tr("Add file mask"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(tr("&File mask:"), this);
    m_edit = new QLineEdit(mask, this);
    label->setBuddy(m_edit);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    auto* hint = new QLabel(tr("Use * for any number of characters and ? for exactly one character, for "
                               "example report??.* or *backup*."),
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [] { misckit::ShowHelpTopic("/qmhelp/TM/searchcriteria.htm"); });
}

QString CDlgAddFileMask::Mask() const {
    return m_edit->text().trimmed().remove(QLatin1Char('|')); // "|" separates the masks
}

} // namespace jobkit
