#include "uikit/qt/QtBackend.h"

#include "ModalAnswer.h"
#include "QtTestMain.h"
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

// The Qt back-end shows real dialogs; here they are answered by clicking their buttons.
class QtBackendTest : public QObject {
    Q_OBJECT
private slots:
    void messageBoxShowsTextCaptionAndReturnsTheClickedButton() {
        uikit::QtBackend ui;
        QString seenText, seenTitle;
        qmtest::ModalAnswer answer([&](QWidget* modal) -> QString {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return QStringLiteral("the modal window is not a message box");
            seenText = box->text();
            seenTitle = box->windowTitle();
            if (!box->button(QMessageBox::Cancel) || !box->button(QMessageBox::No))
                return QStringLiteral("the message box lacks No or Cancel");
            box->button(QMessageBox::No)->click();
            return {};
        });
        const auto a = ui.showMessage(
            {"Overwrite?", "Quillmark", uikit::Buttons::YesNoCancel, uikit::Icon::Question, std::nullopt});
        QVERIFY2(answer.problem().isEmpty(), qPrintable(answer.problem()));
        QCOMPARE(static_cast<int>(a), static_cast<int>(uikit::Answer::No));
        QCOMPARE(seenText, QStringLiteral("Overwrite?"));
        QCOMPARE(seenTitle, QStringLiteral("Quillmark"));
    }

    void escapeOnYesNoMeansNo() {
        uikit::QtBackend ui;
        qmtest::ModalAnswer answer([](QWidget* modal) -> QString {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return QStringLiteral("the modal window is not a message box");
            QTest::keyClick(box, Qt::Key_Escape);
            return {};
        });
        const auto a =
            ui.showMessage({"Sure?", "Quillmark", uikit::Buttons::YesNo, uikit::Icon::Warning, std::nullopt});
        QVERIFY2(answer.problem().isEmpty(), qPrintable(answer.problem()));
        QCOMPARE(static_cast<int>(a), static_cast<int>(uikit::Answer::No));
    }

    void listWindowShowsTitleAndEveryLine() {
        uikit::QtBackend ui;
        QString title;
        QStringList lines;
        qmtest::ModalAnswer answer([&](QWidget* modal) -> QString {
            auto* dialog = qobject_cast<QDialog*>(modal);
            if (!dialog)
                return QStringLiteral("the modal window is not a dialog");
            title = dialog->windowTitle();
            auto* list = dialog->findChild<QListWidget*>();
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            if (!list || !buttons || !buttons->button(QDialogButtonBox::Ok))
                return QStringLiteral("the list window lacks its list or its OK button");
            for (int i = 0; i < list->count(); ++i)
                lines << list->item(i)->text();
            buttons->button(QDialogButtonBox::Ok)->click();
            return {};
        });
        ui.showList("File errors", {"Error: /a", "Error: /b"});
        QVERIFY2(answer.problem().isEmpty(), qPrintable(answer.problem()));
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
