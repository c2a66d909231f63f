#include "extractor/windows/ExtractorWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace extractor {
namespace {

constexpr int kMaxPassword = 1023;
constexpr int kMaxFolder = 259;
// During a long entry the window handles its input this often, without ever waiting for it.
constexpr int kPumpIntervalMs = 30;

} // namespace

ExtractorWindow::ExtractorWindow(sfx::OwnFile own, QWidget* parent) : QDialog(parent), m_own(std::move(own)) {
    setWindowTitle(QStringLiteral("Quillmark Extractor"));

    m_info1 = new QLabel(QStringLiteral("This file holds an archive encrypted with a password."), this);
    m_info2 = new QLabel(QStringLiteral("Type the password, choose a folder and press Extract."), this);
    QFont thin = font();
    thin.setFamily(QStringLiteral("Sans Serif"));
    thin.setWeight(QFont::Thin);
    thin.setPixelSize(12);
    m_info1->setFont(thin);
    m_info2->setFont(thin);

    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(kMaxPassword);
    m_folder = new QLineEdit(this);
    m_folder->setMaxLength(kMaxFolder);
    m_folder->setText(QDir::currentPath().left(255));
    m_browse = new QPushButton(QStringLiteral("..."), this);
    m_extract = new QPushButton(QStringLiteral("Extract"), this);
    m_extract->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_about = new QPushButton(QStringLiteral("About..."), this);
    m_status = new QLabel(this);
    m_status->setMinimumWidth(360);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->hide();

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Password:"), this), 0, 0);
    fields->addWidget(m_password, 0, 1, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("Extract into folder:"), this), 1, 0);
    fields->addWidget(m_folder, 1, 1);
    fields->addWidget(m_browse, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_about);
    buttons->addStretch();
    buttons->addWidget(m_extract);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_info1);
    layout->addWidget(m_info2);
    layout->addLayout(fields);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    connect(m_extract, &QPushButton::clicked, this, &ExtractorWindow::extract);
    connect(m_cancel, &QPushButton::clicked, this, &ExtractorWindow::reject);
    connect(m_about, &QPushButton::clicked, this, &ExtractorWindow::about);
    connect(m_browse, &QPushButton::clicked, this, &ExtractorWindow::browse);

    showMessage = [this](const QString& text, const QString& caption, QMessageBox::Icon icon) {
        QMessageBox box(icon, caption, text, QMessageBox::Ok, this);
        box.exec();
    };
    askCancel = [this] {
        return QMessageBox::question(this, QStringLiteral("Quillmark"), QStringLiteral("Cancel Operation?"),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    qApp->installEventFilter(this);
}

ExtractorWindow::~ExtractorWindow() {
    qApp->removeEventFilter(this);
}

void ExtractorWindow::about() {
    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("About Quillmark Extractor"));
    box.setText(
        QStringLiteral("Quillmark 9.0\nQuillmark Extractor 5.0\n\nTHIS FILE IS ENCRYPTED WITH CAST-256"));
    box.setIconPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(48, 48));
    box.exec();
}

void ExtractorWindow::browse() {
    const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Select output folder."));
    if (!chosen.isEmpty())
        m_folder->setText(chosen + QLatin1Char('/'));
}

void ExtractorWindow::reject() {
    // While running, Cancel and Escape only reach the cancel question (see eventFilter).
    if (!m_running)
        QDialog::reject();
}

void ExtractorWindow::closeEvent(QCloseEvent* event) {
    if (!m_running) {
        QDialog::closeEvent(event);
        return;
    }
    // Closing the window during a run asks the same question as a click.
    event->ignore();
    m_clicked = true;
}

bool ExtractorWindow::eventFilter(QObject* watched, QEvent* event) {
    // During a run a left click anywhere in this window asks whether to stop before the next
    // entry; the click then gets its normal handling. The question waits until the pending input
    // has been handled, so a click that travels up to the parent widgets asks only once.
    if (m_running && event->type() == QEvent::MouseButtonPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_clicked = true;
    }
    return QDialog::eventFilter(watched, event);
}

void ExtractorWindow::handleInput() {
    QApplication::processEvents();
    m_sincePump.restart();
    if (m_clicked && !m_asking) {
        m_asking = true;
        if (askCancel())
            m_continue = false;
        m_asking = false;
        m_clicked = false;
    }
}

void ExtractorWindow::pump() {
    if (m_sincePump.isValid() && m_sincePump.elapsed() < kPumpIntervalMs)
        return;
    handleInput();
}

void ExtractorWindow::announce(const std::string& relative, std::size_t done, std::size_t total) {
    const QString text = QStringLiteral("Extracting: ") + QString::fromStdString(relative);
    m_status->setText(QFontMetrics(m_status->font()).elidedText(text, Qt::ElideMiddle, m_status->width()));
    m_status->setToolTip(text);
    if (m_progress->maximum() != int(total))
        m_progress->setRange(0, int(total));
    m_progress->setValue(int(done));
    // Pending input is handled at once, with no idle time per entry.
    handleInput();
}

void ExtractorWindow::extract() {
    if (m_running)
        return;
    m_progress->show();
    m_info1->hide();
    m_info2->hide();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string password = m_password->text().toStdString();
    const std::string folder = m_folder->text().toStdString();
    m_password->setEnabled(false);
    m_folder->setEnabled(false);
    m_browse->setEnabled(false);
    m_extract->setEnabled(false);
    m_about->setEnabled(false);
    m_continue = true;
    m_clicked = false;
    m_running = true;

    sfx::ExtractHooks hooks;
    hooks.announce = [this](const sfx::SfxEntry&, const std::string& relative, std::size_t done,
                            std::size_t total) { announce(relative, done, total); };
    hooks.keepGoing = [this] { return m_continue; };
    hooks.idle = [this] { pump(); };
    QString message, caption;
    QMessageBox::Icon icon = QMessageBox::Warning;
    try {
        sfx::ExtractAll(m_own, password, folder, hooks);
    } catch (const sfx::EException& e) {
        message = QString::fromStdString(e.what());
        caption = QStringLiteral("Quillmark");
    } catch (...) {
        message = QStringLiteral("Unhandled error.");
        caption = QStringLiteral("Error");
        icon = QMessageBox::Critical;
    }
    QApplication::restoreOverrideCursor();
    m_running = false;
    if (!message.isEmpty())
        showMessage(message, caption, icon);
    accept();
}

} // namespace extractor
