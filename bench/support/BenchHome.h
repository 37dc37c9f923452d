#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>

namespace Bench {

// A private HOME with its own XDG folders for one benchmark process and the
// programs it starts, so that nothing read or written is the user's. Build
// it before the application object: Qt reads these variables on first use.
class Home
{
public:
    Home()
    {
        if (!m_dir.isValid()) {
            std::fprintf(stderr, "cannot create a temporary HOME: %s\n",
                         qPrintable(m_dir.errorString()));
            return;
        }
        set("HOME", m_dir.path());
        set("XDG_CONFIG_HOME", folder(QStringLiteral(".config")));
        set("XDG_CACHE_HOME", folder(QStringLiteral(".cache")));
        set("XDG_DATA_HOME", folder(QStringLiteral(".local/share")));
        set("XDG_STATE_HOME", folder(QStringLiteral(".local/state")));
        // The runtime folder holds the single-instance socket; the base
        // directory rules ask for owner-only access.
        const QString runtime = folder(QStringLiteral("run"));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        set("XDG_RUNTIME_DIR", runtime);
    }

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // Creates (if needed) and returns a folder under the private HOME.
    QString folder(const QString& relative) const
    {
        const QString p = m_dir.filePath(relative);
        QDir().mkpath(p);
        return p;
    }

private:
    static void set(const char* name, const QString& value)
    {
        qputenv(name, QFile::encodeName(value));
    }

    QTemporaryDir m_dir;
};

} // namespace Bench
