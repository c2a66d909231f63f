#include "misckit/dialogs/AboutBox.h"

#include "QtTestMain.h"
#include "WindowChecks.h"
#include "WindowTestHelpers.h"
#include <QLabel>

class AboutBoxTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheVersionAndTheLibrariesWithTheirVersions() {
        misckit::CAboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.windowTitle(), QStringLiteral("About Quillmark"));
        QVERIFY(box.findChild<QLabel*>("version")->text().contains(QStringLiteral(QM_VERSION)));
        const QStringList libraries = misckit::CAboutBox::Libraries();
        QCOMPARE(libraries.size(), 4);
        QCOMPARE(libraries[0], QStringLiteral("Qt ") + qVersion());
        for (const QString& library : libraries) {
            QVERIFY(box.findChild<QLabel*>("libraries")->text().contains(library));
            QVERIFY2(library.contains(QRegularExpression(QStringLiteral(" \\d+\\.\\d+"))),
                     qPrintable(library));
        }
        QVERIFY(qmtest::UnnamedControls(&box).isEmpty());
        QVERIFY(!qmtest::SaveWindowPicture(&box, "about").isEmpty());
        QTest::keyClick(&box, Qt::Key_Escape);
        QVERIFY(!box.isVisible());
    }
};

QM_QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
