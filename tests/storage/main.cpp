#include "StorageTests.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QCoreApplication>
#include <QtTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

AppFolderFixture::AppFolderFixture() {
    SetAppFolder(FDir.path());
}
AppFolderFixture::~AppFolderFixture() {
    SetAppFolder(QString());
}

QString WithFileSizeLimit(long limit, const std::function<void()> &action) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit lowered = old;
    lowered.rlim_cur = rlim_t(limit);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &lowered);
    QString error;
    try {
        action();
    } catch (const std::exception &e) {
        error = QString::fromStdString(e.what());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    return error;
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    int failed = 0;
    for (const auto &test : MakeStorageTests())
        failed += QTest::qExec(test.get(), argc, argv);
    return failed;
}

std::unique_ptr<QObject> MakeUtilsTest();
std::unique_ptr<QObject> MakeTextCodecTest();
std::unique_ptr<QObject> MakeSafeFileTest();
std::unique_ptr<QObject> MakeWriteTargetTest();
std::unique_ptr<QObject> MakeXmlUtilTest();
std::unique_ptr<QObject> MakeSettingsTest();
std::unique_ptr<QObject> MakeLoadReportsTest();

std::vector<std::unique_ptr<QObject>> MakeStorageTests() {
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(MakeUtilsTest());
    tests.push_back(MakeTextCodecTest());
    tests.push_back(MakeSafeFileTest());
    tests.push_back(MakeWriteTargetTest());
    tests.push_back(MakeXmlUtilTest());
    tests.push_back(MakeSettingsTest());
    tests.push_back(MakeLoadReportsTest());
    return tests;
}
