#pragma once

#include <QApplication>
#include <QTest>

namespace quenby::test {

// Refuses to go on unless HOME, the XDG folders and TMPDIR all lie inside the
// scratch folder that the test runner named: a test that could reach a clean-up
// or the store must never point at a real folder. Creates the folders.
void requireScratchEnvironment();

// The scratch folder of this test executable.
QString scratchFolder();

} // namespace quenby::test

// Like QTEST_MAIN, after the scratch check, with fonts at 96 dpi.
#define QUENBY_TEST_MAIN(TestObject)                                  \
    int main(int argc, char *argv[])                                  \
    {                                                                 \
        quenby::test::requireScratchEnvironment();                    \
        QApplication::setAttribute(Qt::AA_Use96Dpi, true);            \
        QApplication app(argc, argv);                                 \
        TestObject tc;                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                    \
        return QTest::qExec(&tc, argc, argv);                         \
    }
