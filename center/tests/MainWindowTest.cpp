#include "center/windows/MainWindow.h"

#include "QtTestMain.h"
#include <QTabWidget>

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void hasTitleAndTheFourWorkspaceTabs() {
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.windowTitle(), QStringLiteral("Quillmark Control Center"));
        QTabWidget* tabs = frame.workspace();
        QCOMPARE(tabs->count(), 4);
        const QStringList expected{"Files", "Keys", "Tasks", "Schedule"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(tabs->tabText(i), expected[i]);
        tabs->setCurrentIndex(3);
        QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("Schedule"));
    }
};

QM_QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
