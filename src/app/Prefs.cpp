#include "app/Prefs.h"

#include <QHash>
#include <QSettings>

namespace Prefs {
namespace {

QHash<QString, QVariant>& registered()
{
    static QHash<QString, QVariant> defaults;
    return defaults;
}

struct Failures
{
    std::function<void(const QString&)> handler;
    bool reported = false;
};

Failures& failures()
{
    static Failures f;
    return f;
}

// Reports the first failure to write the settings file.
bool checked(QSettings& s)
{
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    Failures& f = failures();
    if (!f.reported && f.handler) {
        f.reported = true;
        f.handler(QStringLiteral("%1 cannot be written.").arg(s.fileName()));
    }
    return false;
}

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kavo"),
                     QStringLiteral("Kavo"));
}

// QSettings' INI backend stores every value as text; read booleans and
// numbers back the way a person editing the file would expect.
bool toBool(const QVariant& v)
{
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == u"true" || s == u"1" || s == u"yes" || s == u"on";
    }
    return v.toBool();
}

} // namespace

void registerDefaults()
{
    registered().insert(QString::fromLatin1(shakeEnabled), true);
    registered().insert(QString::fromLatin1(checkForUpdates), true);
}

void resetRegisteredDefaults() { registered().clear(); }

QVariant value(const char* key)
{
    const QString k = QString::fromLatin1(key);
    const QVariant stored = settings().value(k);
    if (stored.isValid())
        return stored;
    return registered().value(k);
}

bool boolValue(const char* key)
{
    const QVariant v = value(key);
    return v.isValid() && toBool(v);
}

double doubleValue(const char* key)
{
    bool ok = false;
    const double d = value(key).toDouble(&ok);
    return ok ? d : 0.0;
}

QString stringValue(const char* key)
{
    const QVariant v = value(key);
    return v.isValid() ? v.toString() : QString();
}

bool setValue(const char* key, const QVariant& v)
{
    QSettings s = settings();
    s.setValue(QString::fromLatin1(key), v);
    return checked(s);
}

bool remove(const char* key)
{
    QSettings s = settings();
    s.remove(QString::fromLatin1(key));
    return checked(s);
}

void setFailureHandler(std::function<void(const QString& why)> handler)
{
    failures() = {std::move(handler), false};
}

QString fileName() { return settings().fileName(); }

} // namespace Prefs
