// A plugin that only leaves a mark: loaded into a process, it creates the
// file that KAVO_TEST_PLUGIN_MARK names. It is a platform theme whose key
// the tests name in QT_QPA_PLATFORMTHEME, so Qt loads it from any plugin
// folder it was pointed at. The tests put it where a file named like one of Qt's options would
// point Qt, and check that the mark never appears.
#include <QObject>
#include <QtPlugin>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

__attribute__((constructor)) void leaveMark()
{
    if (const char* mark = ::getenv("KAVO_TEST_PLUGIN_MARK")) {
        const int fd = ::open(mark, O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
}

} // namespace

class MarkerPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformThemeFactoryInterface.5.1" FILE "marker.json")
};

#include "MarkerPlugin.moc"
