#include "platform/FileIcons.h"

#include "platform/Symbols.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>

namespace FileIcons {

// Without a desktop session Qt may search no icon folders at all, or only
// hicolor, which holds no MIME type icons. Add the XDG icon folders and let
// Adwaita (installed with Kavo) fill the gaps of whatever theme is in use.
void ensureIconTheme()
{
    static const bool done = [] {
        QStringList paths = QIcon::themeSearchPaths();
        QStringList dataDirs;
        dataDirs << (qEnvironmentVariable("XDG_DATA_HOME").isEmpty()
                         ? QDir::homePath() + QStringLiteral("/.local/share")
                         : qEnvironmentVariable("XDG_DATA_HOME"));
        const QString system = qEnvironmentVariable("XDG_DATA_DIRS");
        dataDirs << (system.isEmpty() ? QStringLiteral("/usr/local/share:/usr/share") : system)
                        .split(u':', Qt::SkipEmptyParts);
        for (const QString& dir : std::as_const(dataDirs)) {
            const QString icons = dir + QStringLiteral("/icons");
            if (!paths.contains(icons) && QFileInfo(icons).isDir())
                paths << icons;
        }
        QIcon::setThemeSearchPaths(paths);
        if (QIcon::themeName().isEmpty())
            QIcon::setThemeName(QStringLiteral("hicolor"));
        if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == u"hicolor")
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

QIcon themedIcon(const QMimeType& type)
{
    ensureIconTheme();
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    return icon;
}

QImage render(const QMimeType& type)
{
    const QIcon icon = themedIcon(type);
    if (!icon.isNull()) {
        QImage img = icon.pixmap(QSize(iconPixels, iconPixels), 1.0).toImage();
        if (!img.isNull())
            return img;
    }
    return Symbols::image(QStringLiteral("doc"), iconPixels, QColor(120, 120, 128), 1.0);
}

} // namespace

void findIcon(const QString& mimeType)
{
    themedIcon(QMimeDatabase().mimeTypeForName(mimeType));
}

QImage iconForType(const QString& mimeType)
{
    static QHash<QString, QImage> cache;
    auto it = cache.constFind(mimeType);
    if (it != cache.constEnd())
        return *it;
    static const QMimeDatabase db;
    QImage img = render(db.mimeTypeForName(mimeType));
    cache.insert(mimeType, img);
    return img;
}

QString typeForName(const QString& fileName)
{
    static const QMimeDatabase db;
    return db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name();
}

} // namespace FileIcons
