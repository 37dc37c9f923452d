#include "shake/DebugLog.h"

#include "core/StateFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace DebugLog {
namespace {

QString computePath()
{
    StateFolder::make();
    return StateFolder::path() + QStringLiteral("/shake.log");
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
