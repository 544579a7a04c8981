// The test program that holds the test classes of every *_test.cpp file with
// no main() of its own. CTest runs it once per file, naming the file:
//
//   quenby_tests form1_test [QTest options]
//
// so that every file still runs in a process, a scratch folder and a result of
// its own.
#include "scratch.h"

#include <QFileInfo>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace quenby::test {

namespace {

struct RegisteredTest
{
    const char *sourceFile;
    TestApplication application;
    TestMaker make;
};

std::map<std::string, RegisteredTest> &registry()
{
    static std::map<std::string, RegisteredTest> tests;
    return tests;
}

std::string baseName(const char *path)
{
    std::string name(path);
    name = name.substr(name.find_last_of('/') + 1);
    return name.substr(0, name.find('.'));
}

} // namespace

bool registerTest(const char *sourceFile, TestApplication application, TestMaker make)
{
    const bool fresh = registry().emplace(baseName(sourceFile), RegisteredTest{sourceFile, application, make}).second;
    if (!fresh) {
        std::fprintf(stderr, "%s registers a second test class\n", sourceFile);
        std::abort();
    }
    return true;
}

} // namespace quenby::test

int main(int argc, char *argv[])
{
    using namespace quenby::test;
    const auto found = argc > 1 ? registry().find(argv[1]) : registry().end();
    if (found == registry().end()) {
        std::fprintf(stderr, "usage: %s TEST [QTest options]\nTEST is one of:\n", argc > 0 ? argv[0] : "quenby_tests");
        for (const auto &[name, test] : registry())
            std::fprintf(stderr, "  %s\n", name.c_str());
        return 2;
    }
    const RegisteredTest &test = found->second;
    // QTest reads its options from the second argument on.
    argv[1] = argv[0];
    --argc;
    ++argv;

    requireScratchEnvironment();
    std::unique_ptr<QCoreApplication> application;
    if (test.application == TestApplication::Widgets) {
        QApplication::setAttribute(Qt::AA_Use96Dpi, true);
        application = std::make_unique<QApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    // As if the file were a program of its own.
    QCoreApplication::setApplicationName(QString::fromStdString(found->first));
    const std::unique_ptr<QObject> testObject(test.make());
#ifdef QT_TESTCASE_BUILDDIR
    QTest::setMainSourcePath(test.sourceFile, QT_TESTCASE_BUILDDIR);
#else
    QTest::setMainSourcePath(test.sourceFile);
#endif
    return QTest::qExec(testObject.get(), argc, argv);
}
