// The main() of every test executable: isolates the process from the real
// user's files, creates the application object, runs GoogleTest.
#include "app/Translations.h"
#include "core/ProcessWide.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing tests (CTest's discovery) needs no display and no application.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    QTemporaryDir home(QDir::tempPath() + "/kavo-test-XXXXXX");
    const QByteArray h = QFile::encodeName(home.path());
    for (const auto& [name, sub] : {std::pair{"HOME", ""}, {"XDG_CONFIG_HOME", "/.config"},
                                    {"XDG_CACHE_HOME", "/.cache"}, {"XDG_DATA_HOME", "/.local/share"},
                                    {"XDG_STATE_HOME", "/.local/state"}, {"XDG_RUNTIME_DIR", "/runtime"}})
        setenv(name, QByteArray(h + sub).constData(), 1);
    mkdir(QByteArray(h + "/runtime").constData(), 0700); // private, as the XDG rules want it
    QStandardPaths::setTestModeEnabled(true);
    // The offscreen platform warns about every window-opacity step.
    setenv("QT_LOGGING_RULES", "qt.qpa.*=false", 0);
    // The texts the tests expect are the English ones, whatever the
    // language of the session that runs them.
    setenv("LANGUAGE", "en", 1);
    QApplication app(argc, argv);
    Translations::install(KAVO_TRANSLATIONS_BUILD_DIR);
    QApplication::setApplicationName("Kavo");
    QApplication::setApplicationVersion(KAVO_VERSION);
    QApplication::setQuitOnLastWindowClosed(false);
    const int status = home.isValid() ? RUN_ALL_TESTS() : 1;
    ProcessWide::endAll();
    return status;
}
