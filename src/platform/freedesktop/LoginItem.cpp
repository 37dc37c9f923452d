#include "platform/freedesktop/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace LoginItem {
namespace {

QString text(const char* source) { return QCoreApplication::translate("LoginItem", source); }

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

// Quotes an Exec argument as the desktop entry format asks.
QString quoted(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needs = false;
    for (QChar c : arg)
        needs |= reserved.contains(c);
    if (!needs)
        return arg;
    QString out = QStringLiteral("\"");
    for (QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

} // namespace

QString entryPath() { return configHome() + QStringLiteral("/autostart/" KAVO_APP_ID ".desktop"); }

QString command()
{
    const QString exe = QCoreApplication::applicationFilePath();
    return exe.isEmpty() ? QStringLiteral("kavo") : exe;
}

bool isEnabled()
{
    QFile f(entryPath());
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inEntry = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]";
            continue;
        }
        if (inEntry && line.startsWith(u"Hidden")) {
            const QString value = line.section(u'=', 1).trimmed();
            if (line.section(u'=', 0, 0).trimmed() == u"Hidden" && value == u"true")
                return false;
        }
    }
    return true;
}

bool setEnabled(bool enabled, QString* error)
{
    const QString path = entryPath();
    if (!enabled) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        if (error)
            *error = text(QT_TRANSLATE_NOOP("LoginItem", "The autostart entry %1 could not be "
                                                         "removed."))
                         .arg(path);
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = text(QT_TRANSLATE_NOOP("LoginItem", "The folder %1 could not be created."))
                         .arg(folder);
        return false;
    }
    QSaveFile f(path);
    const QByteArray entry = QByteArrayLiteral("[Desktop Entry]\n"
                                               "Type=Application\n"
                                               "Name=Kavo\n"
                                               "Comment=Temporary shelves for files\n"
                                               "Icon=" KAVO_APP_ID "\n"
                                               "Exec=") +
                             quoted(command()).toUtf8() +
                             QByteArrayLiteral("\n"
                                               "Terminal=false\n"
                                               "X-GNOME-Autostart-enabled=true\n");
    if (!f.open(QIODevice::WriteOnly) || f.write(entry) != entry.size() || !f.commit()) {
        if (error)
            *error = text(QT_TRANSLATE_NOOP("LoginItem",
                                            "The autostart entry %1 could not be written (%2)."))
                         .arg(path, f.errorString());
        return false;
    }
    return true;
}

} // namespace LoginItem
