// The main() of every test executable: isolates the process from the real
// user's files, creates the application object, runs GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <memory>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing tests (CTest's discovery) needs no display and no application.
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0)
            return RUN_ALL_TESTS();
    }

    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/kavo-test-XXXXXX"));
    if (!home.isValid())
        return 1;
    const QByteArray h = QFile::encodeName(home.path());
    setenv("HOME", h.constData(), 1);
    setenv("XDG_CONFIG_HOME", QByteArray(h + "/.config").constData(), 1);
    setenv("XDG_CACHE_HOME", QByteArray(h + "/.cache").constData(), 1);
    setenv("XDG_DATA_HOME", QByteArray(h + "/.local/share").constData(), 1);
    setenv("XDG_STATE_HOME", QByteArray(h + "/.local/state").constData(), 1);
    // A runtime folder of its own, private as the XDG rules want it: the
    // single-instance socket of one test process never meets another's.
    const QByteArray runtime = h + "/runtime";
    mkdir(runtime.constData(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
    QStandardPaths::setTestModeEnabled(true);

    // Without a display, widget tests still run on the offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The offscreen platform warns about every window-opacity step.
    setenv("QT_LOGGING_RULES", "qt.qpa.*=false", 0);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavo"));
    QApplication::setApplicationVersion(QStringLiteral(KAVO_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
