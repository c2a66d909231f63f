#include "center/windows/LocationsWindow.h"

#include "center/core/LocationList.h"
#include "center/windows/Icons.h"
#include "corecrypt/QMException.h"
#include "misckit/Help.h"
#include "uikit/DirDialog.h"
#include "uikit/Ui.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char kAppName[] = "Quillmark";
}

CDlgLocations::CDlgLocations(QWidget* parent) : QDialog(parent), m_locations(center::ReadLocations()) {
    setObjectName(QStringLiteral("LocationsWindow"));
    setWindowTitle(tr("Location of encrypted files"));
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(tr("To manage your encrypted files with File Manager, you need to specify folders "
                      "and/or drives on your hard disk where encrypted files are located."),
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* hint =
        new QLabel(tr("Indicate up to 10 locations that must be searched for encrypted files. You can "
                      "specify separate folders as well as whole drives."),
                   this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto* row = new QHBoxLayout;
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("LocationList"));
    m_list->setAccessibleName(tr("Locations"));
    hint->setBuddy(m_list);
    row->addWidget(m_list, 1);
    auto* side = new QVBoxLayout;
    auto* add = new QPushButton(tr("&Add"), this);
    m_remove = new QPushButton(tr("&Remove"), this);
    auto* help = new QPushButton(tr("&Help"), this);
    for (QPushButton* b : {add, m_remove, help}) {
        b->setAutoDefault(false);
        side->addWidget(b);
    }
    side->addStretch();
    row->addLayout(side);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setEnabled(false);
    layout->addWidget(buttons);
    connect(add, &QPushButton::clicked, this, &CDlgLocations::OnAdd);
    connect(m_remove, &QPushButton::clicked, this, &CDlgLocations::OnRemove);
    connect(help, &QPushButton::clicked, this, [] { misckit::ShowHelpTopic("/qmhelp/kmset.htm"); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::currentRowChanged, this,
            [this](int row) { m_remove->setEnabled(row >= 0); });
    Fill();
    resize(520, 360);
}

void CDlgLocations::Fill() {
    m_list->clear();
    for (const std::string& path : m_locations)
        m_list->addItem(new QListWidgetItem(
            center::CenterIcon(path == "/" ? center::IconId::Drive : center::IconId::Folder),
            QString::fromStdString(path)));
    m_remove->setEnabled(m_list->currentRow() >= 0);
}

void CDlgLocations::OnAdd() {
    if (m_locations.size() >= center::kMaxLocations) {
        uikit::MessageBox(center::kLocationsFull, kAppName);
        return;
    }
    CDirDialog chooser;
    chooser.m_strWindowTitle = "Select Location";
    chooser.m_strTitle = "Select folder or drive where encrypted files reside.";
    if (!chooser.DoBrowse())
        return;
    std::string message;
    if (!center::AddLocation(m_locations, chooser.m_strPath, message)) {
        uikit::MessageBox(message, kAppName);
        return;
    }
    Fill();
    m_list->setCurrentRow(m_list->count() - 1);
    m_ok->setEnabled(true);
}

void CDlgLocations::OnRemove() {
    const int row = m_list->currentRow();
    if (row < 0 || row >= static_cast<int>(m_locations.size()))
        return;
    m_locations.erase(m_locations.begin() + row);
    Fill();
    // A removal is a change worth keeping as much as an addition.
    m_ok->setEnabled(true);
}

int CDlgLocations::DoModal() {
    const int result = exec();
    if (result == QDialog::Accepted && !center::WriteLocations(m_locations))
        throw CQMException(2, "Cannot write the locations to the settings.");
    return result;
}
