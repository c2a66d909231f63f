#pragma once

#include "TestSupport.h"

#include <QApplication>
#include <QtTest>

// QTEST_MAIN, in a fresh temporary home like every other test.
#define QM_QTEST_MAIN(TestObject)                                                                            \
    int main(int argc, char** argv) {                                                                        \
        qmtest::SetUpTestHome();                                                                             \
        QApplication app(argc, argv);                                                                        \
        TestObject tc;                                                                                       \
        const int rc = QTest::qExec(&tc, argc, argv);                                                        \
        qmtest::TearDownTestHome();                                                                          \
        return rc;                                                                                           \
    }
