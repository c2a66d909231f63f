#include "uikit/qt/QtBackend.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace uikit {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QMessageBox::StandardButton ToQt(Answer a) {
    switch (a) {
    case Answer::OK:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    case Answer::Retry:
        return QMessageBox::Retry;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons ToQt(Buttons b) {
    switch (b) {
    case Buttons::OK:
        return QMessageBox::Ok;
    case Buttons::OKCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(Icon i) {
    switch (i) {
    case Icon::None:
        return QMessageBox::NoIcon;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

std::string ToQtFilter(const std::string& filter) {
    QStringList parts;
    for (const auto& e : ParseFilter(filter)) {
        QStringList patterns;
        for (const auto& p : e.patterns)
            patterns << (p == "*.*" ? QStringLiteral("*") : Q(p));
        parts << Q(e.description) + " (" + patterns.join(' ') + ")";
    }
    return parts.join(";;").toStdString();
}

QWidget* QtBackend::parent() const {
    if (QWidget* w = QApplication::activeWindow())
        return w;
    return m_parent;
}

Answer QtBackend::showMessage(const Message& message) {
    QMessageBox box(ToQt(message.icon), Q(message.caption), Q(message.text), ToQt(message.buttons), parent());
    box.setDefaultButton(ToQt(SafeAnswer(message)));
    if (message.dontShowAgain) {
        auto* check = new QCheckBox(QObject::tr("&Don't show this message again"), &box);
        check->setChecked(*message.dontShowAgain);
        box.setCheckBox(check);
    }
    const int result = box.exec();
    if (message.dontShowAgain)
        *message.dontShowAgain = box.checkBox()->isChecked();
    switch (result) {
    case QMessageBox::Ok:
        return Answer::OK;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Retry:
        return Answer::Retry;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        // Closed with Escape or the title bar: the answer that closing means.
        return message.buttons == Buttons::OK      ? Answer::OK
               : message.buttons == Buttons::YesNo ? Answer::No
                                                   : Answer::Cancel;
    }
}

std::optional<std::vector<std::string>> QtBackend::chooseFiles(const FileRequest& request) {
    QFileDialog dialog(parent(), Q(request.title), Q(request.initialPath), Q(ToQtFilter(request.filter)));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.save)
        dialog.setFileMode(QFileDialog::AnyFile);
    else
        dialog.setFileMode((request.flags & kMultiSelect) ? QFileDialog::ExistingFiles
                                                          : QFileDialog::ExistingFile);
    if (!(request.flags & kOverwritePrompt))
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.defaultExtension.empty())
        dialog.setDefaultSuffix(Q(request.defaultExtension));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    std::vector<std::string> out;
    for (const QString& f : dialog.selectedFiles())
        out.push_back(f.toStdString());
    return out;
}

std::optional<std::string> QtBackend::chooseFolder(const FolderRequest& request) {
    QFileDialog dialog(parent(), Q(request.windowTitle), Q(request.initialPath));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!request.title.empty())
        dialog.setLabelText(QFileDialog::LookIn, Q(request.title));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtBackend::askText(const TextRequest& request) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent(), Q(request.caption), Q(request.prompt),
                                               request.hidden ? QLineEdit::Password : QLineEdit::Normal,
                                               Q(request.initialText), &ok);
    if (!ok)
        return std::nullopt;
    return text.toStdString();
}

void QtBackend::pumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void QtBackend::setWaitCursor(bool on) {
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtBackend::showList(const std::string& title, const std::vector<std::string>& lines) {
    QDialog dialog(parent());
    dialog.setObjectName(QStringLiteral("uikitListDialog"));
    dialog.setWindowTitle(Q(title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    for (const auto& line : lines)
        list->addItem(Q(line));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(640, 360);
    dialog.exec();
}

bool QtBackend::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(Q(url)));
}

} // namespace uikit
