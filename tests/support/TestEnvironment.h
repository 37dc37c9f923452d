#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>

#include <functional>

// Test-wide helpers. Every test process runs with HOME and the XDG folders
// pointed at a private temporary folder (see TestMain.cpp), so nothing a test
// does reaches the real user's files or settings.
namespace TestEnv {

// The private home folder of this test process.
QString home();

// Processes events until `done` answers true or `timeoutMs` has passed;
// answers whether `done` became true.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Processes events for about `ms` milliseconds (for asserting that something
// does NOT happen within a bounded time).
void processEventsFor(int ms);

// Writes `bytes` to `path` (creating parent folders); answers success.
bool writeFile(const QString& path, const QByteArray& bytes);

// A real PNG image of the given size.
bool writePng(const QString& path, int width = 64, int height = 48);

// Sets the modification (and access) time of `path`, not following links.
bool setModificationTime(const QString& path, qint64 secondsSinceEpoch);

} // namespace TestEnv
