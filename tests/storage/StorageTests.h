#pragma once
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>

#include <memory>
#include <vector>

// Every test class of this program, run one after another by main().
std::vector<std::unique_ptr<QObject>> MakeStorageTests();

// A temporary application folder, made current for the lifetime of the fixture.
class AppFolderFixture {
public:
    AppFolderFixture();
    ~AppFolderFixture();
    QString path() const { return FDir.path() + QStringLiteral("/"); }

private:
    QTemporaryDir FDir;
};

// Runs `action` with the file size limit lowered so that a write of more than `limit` bytes
// fails (also for root, whom permissions do not stop). Returns the caught error text, or "" when
// nothing was thrown.
QString WithFileSizeLimit(long limit, const std::function<void()> &action);
