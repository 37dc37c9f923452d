#include "core/StateFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace StateFolder {

QString path()
{
    const QString env = qEnvironmentVariable("XDG_STATE_HOME");
    const QString home = !env.isEmpty() && QDir::isAbsolutePath(env)
                             ? QDir::cleanPath(env)
                             : QDir::homePath() + QStringLiteral("/.local/state");
    return home + QStringLiteral("/Kavo");
}

void make()
{
    QStringList missing;
    for (QString p = path(); !p.isEmpty() && !QFileInfo::exists(p);) {
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

} // namespace StateFolder
