#pragma once

// The extractor's one modal window: password, output folder, Extract / Cancel / About, a status
// line and a progress bar. A run never returns to idle: the window closes at its end.
#include "extractor/core/SfxExtract.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace extractor {

class ExtractorWindow : public QDialog {
    Q_OBJECT
public:
    explicit ExtractorWindow(sfx::OwnFile own, QWidget* parent = nullptr);
    ~ExtractorWindow() override;

    // Seams for tests: how a message is shown and how the cancel question is answered.
    std::function<void(const QString& text, const QString& caption, QMessageBox::Icon icon)> showMessage;
    std::function<bool()> askCancel; // true: "Yes"

    QLineEdit* passwordEdit() const { return m_password; }
    QLineEdit* folderEdit() const { return m_folder; }
    QPushButton* extractButton() const { return m_extract; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* aboutButton() const { return m_about; }
    QPushButton* browseButton() const { return m_browse; }
    QLabel* statusLine() const { return m_status; }
    QProgressBar* progressBar() const { return m_progress; }
    QLabel* infoLine(int i) const { return i == 0 ? m_info1 : m_info2; }
    bool running() const { return m_running; }

public slots:
    void extract();
    void about();
    void browse();
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void announce(const std::string& relative, std::size_t done, std::size_t total);
    void pump();
    void handleInput();

    sfx::OwnFile m_own;
    QLineEdit* m_password;
    QLineEdit* m_folder;
    QPushButton* m_browse;
    QPushButton* m_extract;
    QPushButton* m_cancel;
    QPushButton* m_about;
    QLabel* m_status;
    QProgressBar* m_progress;
    QLabel* m_info1;
    QLabel* m_info2;
    bool m_running = false;
    bool m_asking = false;
    bool m_clicked = false;
    bool m_continue = true;
    QElapsedTimer m_sincePump;
};

} // namespace extractor
