#include "extractor/windows/ExtractorWindow.h"
#include "extractor/core/SfxWriter.h"

#include "QtTestMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

using extractor::ExtractorWindow;

class ExtractorWindowTest : public QObject {
    Q_OBJECT

    std::string m_archive;

    struct Shown {
        QString text, caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    void hook(ExtractorWindow& w, Shown& shown) {
        w.showMessage = [&shown](const QString& t, const QString& c, QMessageBox::Icon i) {
            shown = {t, c, i};
        };
    }

private slots:
    void initTestCase() {
        m_archive = qmtest::MakeTempDir("archive") + "/w.run";
        qmtest::WriteFile(m_archive,
                          sfx::BuildArchive("pw", {{"one.txt", "1"}, {"sub\\two.txt", "2"}}, "stub"));
    }

    void startsIdleWithTheCurrentFolder() {
        ExtractorWindow w(sfx::OwnFile{m_archive, m_archive});
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("Quillmark Extractor"));
        QCOMPARE(w.folderEdit()->text(), QDir::currentPath());
        QCOMPARE(w.passwordEdit()->echoMode(), QLineEdit::Password);
        QCOMPARE(w.passwordEdit()->maxLength(), 1023);
        QCOMPARE(w.folderEdit()->maxLength(), 259);
        QVERIFY(w.extractButton()->isDefault());
        QVERIFY(!w.progressBar()->isVisible());
        QVERIFY(w.infoLine(0)->isVisible());
        QVERIFY(w.statusLine()->text().isEmpty());
    }

    void extractsAndClosesWithoutAMessage() {
        const QString out = QString::fromStdString(qmtest::MakeTempDir("out"));
        ExtractorWindow w(sfx::OwnFile{m_archive, m_archive});
        Shown shown;
        hook(w, shown);
        w.show();
        w.passwordEdit()->setText("pw");
        w.folderEdit()->setText(out);
        QTest::mouseClick(w.extractButton(), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(shown.text.isEmpty());
        QVERIFY(w.statusLine()->toolTip().startsWith("Extracting: "));
        QCOMPARE(w.progressBar()->maximum(), 2);
        QCOMPARE(QString::fromStdString(qmtest::ReadFile(out.toStdString() + "/sub/two.txt")),
                 QStringLiteral("2"));
        QVERIFY(!w.isVisible());
    }

    void showsTheRunsFailureAsAWarning() {
        ExtractorWindow w(sfx::OwnFile{m_archive, m_archive});
        Shown shown;
        hook(w, shown);
        w.show();
        w.passwordEdit()->setText("wrong");
        w.extract();
        QCOMPARE(shown.text, QStringLiteral("Invalid password."));
        QCOMPARE(shown.caption, QStringLiteral("Quillmark"));
        QCOMPARE(shown.icon, QMessageBox::Warning);
        QVERIFY(!w.isVisible());
    }

    void aClickDuringTheRunAsksAndYesCancels() {
        const QString out = QString::fromStdString(qmtest::MakeTempDir("out"));
        ExtractorWindow w(sfx::OwnFile{m_archive, m_archive});
        Shown shown;
        hook(w, shown);
        int asked = 0;
        w.askCancel = [&] {
            ++asked;
            return true;
        };
        w.show();
        w.passwordEdit()->setText("pw");
        w.folderEdit()->setText(out);
        // The click is queued before the run and handled at the first entry, without any wait.
        QTimer::singleShot(0, &w, [&] { w.extract(); });
        QTimer::singleShot(0, &w, [&] { QTest::mousePress(w.progressBar(), Qt::LeftButton); });
        QTRY_VERIFY(!w.isVisible());
        QCOMPARE(asked, 1);
        QCOMPARE(shown.text, QStringLiteral("Operation canceled."));
        QVERIFY(!qmtest::Exists(out.toStdString() + "/one.txt"));
    }

    void cancelWhileIdleClosesWithoutTouchingFiles() {
        ExtractorWindow w(sfx::OwnFile{m_archive, m_archive});
        w.show();
        QTest::mouseClick(w.cancelButton(), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QVERIFY(!w.isVisible());
    }
};

QM_QTEST_MAIN(ExtractorWindowTest)
#include "ExtractorWindowTest.moc"
