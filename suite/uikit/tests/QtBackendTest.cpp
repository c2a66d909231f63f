#include "uikit/qt/QtBackend.h"

#include "QtTestMain.h"
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// The Qt back-end shows real dialogs; here they are answered by clicking their buttons.
class QtBackendTest : public QObject {
    Q_OBJECT
private slots:
    void messageBoxShowsTextCaptionAndReturnsTheClickedButton() {
        uikit::QtBackend ui;
        QString seenText, seenTitle;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenText = box->text();
            seenTitle = box->windowTitle();
            QVERIFY(box->button(QMessageBox::Cancel));
            box->button(QMessageBox::No)->click();
        });
        const auto a = ui.showMessage(
            {"Overwrite?", "Quillmark", uikit::Buttons::YesNoCancel, uikit::Icon::Question, std::nullopt});
        QCOMPARE(static_cast<int>(a), static_cast<int>(uikit::Answer::No));
        QCOMPARE(seenText, QStringLiteral("Overwrite?"));
        QCOMPARE(seenTitle, QStringLiteral("Quillmark"));
    }

    void escapeOnYesNoMeansNo() {
        uikit::QtBackend ui;
        QTimer::singleShot(50, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->reject();
        });
        const auto a =
            ui.showMessage({"Sure?", "Quillmark", uikit::Buttons::YesNo, uikit::Icon::Warning, std::nullopt});
        QCOMPARE(static_cast<int>(a), static_cast<int>(uikit::Answer::No));
    }

    void listWindowShowsTitleAndEveryLine() {
        uikit::QtBackend ui;
        QString title;
        QStringList lines;
        QTimer::singleShot(50, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->windowTitle();
            auto* list = dialog->findChild<QListWidget*>();
            QVERIFY(list);
            for (int i = 0; i < list->count(); ++i)
                lines << list->item(i)->text();
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        ui.showList("File errors", {"Error: /a", "Error: /b"});
        QCOMPARE(title, QStringLiteral("File errors"));
        QCOMPARE(lines, (QStringList{QStringLiteral("Error: /a"), QStringLiteral("Error: /b")}));
    }

    void filterBecomesQtForm() {
        QCOMPARE(QString::fromStdString(uikit::ToQtFilter("Key files (*.qmk)|*.qmk|All files|*.*||")),
                 QStringLiteral("Key files (*.qmk) (*.qmk);;All files (*)"));
    }
};

QM_QTEST_MAIN(QtBackendTest)
#include "QtBackendTest.moc"
