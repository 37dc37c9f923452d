#include "shake/DebugLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace DebugLog {
namespace {

// The XDG state folder; a relative $XDG_STATE_HOME is invalid and ignored.
QString stateHome()
{
    const QString env = qEnvironmentVariable("XDG_STATE_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return QDir::cleanPath(env);
    return QDir::homePath() + QStringLiteral("/.local/state");
}

// Creates the missing folders of `folder`, each private to the user as the
// XDG base-directory rules ask for state folders.
void makeFolder(const QString& folder)
{
    QStringList missing;
    for (QString p = folder; !p.isEmpty() && !QFileInfo::exists(p);) {
        missing.prepend(p);
        const QString parent = QFileInfo(p).path();
        if (parent == p)
            break;
        p = parent;
    }
    const QDir root;
    for (const QString& p : std::as_const(missing)) {
        if (!root.mkdir(p, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return;
    }
}

QString computePath()
{
    const QString folder = stateHome() + QStringLiteral("/Kavo");
    makeFolder(folder);
    return folder + QStringLiteral("/shake.log");
}

} // namespace

QString path()
{
    static const QString p = computePath();
    return p;
}

QUrl url()
{
    return QUrl::fromLocalFile(path());
}

void write(const QString& message)
{
    const QByteArray record =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8() +
        " +0000 " + message.toUtf8() + '\n';
    const QString file = path();

    QFile existing(file);
    if (existing.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly)) {
        existing.write(record);
        existing.close();
        return;
    }
    // A file that exists but cannot be opened keeps its content: the record
    // is lost rather than the log replaced.
    const QFileInfo info(file);
    if (info.exists() || info.isSymLink())
        return;
    QSaveFile created(file);
    if (!created.open(QIODevice::WriteOnly))
        return;
    created.write(record);
    created.commit();
}

} // namespace DebugLog
