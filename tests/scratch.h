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

// The test classes of one file share a test program with those of the other
// files. Each registers itself under its file's name; the program runs the
// one named by its first argument, in the application it asks for.
enum class TestApplication { Widgets, Core };
using TestMaker = QObject *(*)();
bool registerTest(const char *sourceFile, TestApplication application, TestMaker make);

} // namespace quenby::test

#define QUENBY_TEST_REGISTER(TestObject, application)                                             \
    namespace {                                                                                   \
    [[maybe_unused]] const bool quenbyTestRegistered = quenby::test::registerTest(                \
        __FILE__, application, []() -> QObject * { return new TestObject; });                   \
    }

// Like QTEST_MAIN (a QApplication, fonts at 96 dpi), after the scratch check.
#define QUENBY_TEST_MAIN(TestObject) QUENBY_TEST_REGISTER(TestObject, quenby::test::TestApplication::Widgets)

// Like QTEST_GUILESS_MAIN (a QCoreApplication), after the scratch check.
#define QUENBY_TEST_GUILESS_MAIN(TestObject) QUENBY_TEST_REGISTER(TestObject, quenby::test::TestApplication::Core)
