#include "tasks/dialogs/TaskWindowsQt.h"

#include "uikit/Progress.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace jobkit {

namespace {

class BarProgress : public uikit::IProgressIndicator {
public:
    explicit BarProgress(QProgressBar* bar) : m_bar(bar) {}
    void setRange(int minimum, int maximum) override { m_bar->setRange(minimum, maximum); }
    void setPosition(int position) override { m_bar->setValue(position); }
    int position() const override { return m_bar->value(); }

private:
    QProgressBar* m_bar;
};

QDialogButtonBox* CancelButton(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

void ShowNow(QDialog* dialog) {
    dialog->setModal(false);
    dialog->show();
    QApplication::processEvents();
}

} // namespace

CDlgTaskWait::CDlgTaskWait(int* continueFlag, QWidget* parent)
    : QDialog(parent), m_continue(continueFlag), m_count(new QLabel("0", this)), m_folder(new QLabel(this)) {
    setWindowTitle("Building file list...");
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Found files:", this), 0, 0);
    grid->addWidget(m_count, 0, 1);
    grid->addWidget(new QLabel("Searching directory:", this), 1, 0);
    grid->addWidget(m_folder, 1, 1);
    m_folder->setMinimumWidth(360);
    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(busy);
    layout->addLayout(grid);
    layout->addWidget(CancelButton(this));
    ShowNow(this);
}

CDlgTaskWait::~CDlgTaskWait() = default;

void CDlgTaskWait::SetFoundCount(unsigned count) {
    m_count->setText(QString::number(count));
}

void CDlgTaskWait::SetSearchFolder(const std::string& folder) {
    m_fullFolder = QString::fromStdString(folder);
    m_folder->setText(m_folder->fontMetrics().elidedText(m_fullFolder, Qt::ElideMiddle, m_folder->width()));
}

QString CDlgTaskWait::FoundText() const {
    return m_count->text();
}
QString CDlgTaskWait::FolderText() const {
    return m_fullFolder;
}

void CDlgTaskWait::reject() {
    *m_continue = 0;
    QDialog::reject();
}

CDlgTaskCancel::CDlgTaskCancel(int* continueFlag, QWidget* parent)
    : QDialog(parent), m_continue(continueFlag), m_countLine(new QLabel(this)), m_item(new QLabel(this)),
      m_phase(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_progress(std::make_unique<BarProgress>(m_bar)) {
    setWindowTitle("Quillmark is working...");
    setWindowIcon(QApplication::windowIcon());
    m_item->setMinimumWidth(360);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_countLine);
    layout->addWidget(m_item);
    layout->addWidget(m_bar);
    layout->addWidget(m_phase);
    layout->addWidget(CancelButton(this));
    ShowNow(this);
}

CDlgTaskCancel::~CDlgTaskCancel() = default;

void CDlgTaskCancel::SetCountFormat(const std::string& format) {
    m_format = format;
}

void CDlgTaskCancel::SetTotal(int total) {
    m_total = total;
    m_bar->setRange(0, total);
    m_bar->setValue(0);
}

void CDlgTaskCancel::SetCountText(const std::string& text) {
    m_countLine->setText(QString::fromStdString(text));
}

void CDlgTaskCancel::SetCurrentItem(const std::string& text) {
    m_item->setText(
        m_item->fontMetrics().elidedText(QString::fromStdString(text), Qt::ElideMiddle, m_item->width()));
}

void CDlgTaskCancel::SetPhase(const std::string& text) {
    m_phase->setText(QString::fromStdString(text));
}

uikit::IProgressIndicator* CDlgTaskCancel::Progress() {
    return m_progress.get();
}

QString CDlgTaskCancel::CountText() const {
    return m_countLine->text();
}
QString CDlgTaskCancel::PhaseText() const {
    return m_phase->text();
}

// Cancel and closing the window both ask first; No leaves the work running.
void CDlgTaskCancel::reject() {
    if (ConfirmBreak(m_continue))
        QDialog::reject();
}

std::unique_ptr<ITaskWaitWindow> QtTaskWindows::OpenWaitWindow(int* continueFlag) {
    return std::make_unique<CDlgTaskWait>(continueFlag, QApplication::activeWindow());
}

std::unique_ptr<ITaskCancelWindow> QtTaskWindows::OpenCancelWindow(int* continueFlag) {
    return std::make_unique<CDlgTaskCancel>(continueFlag, QApplication::activeWindow());
}

} // namespace jobkit
