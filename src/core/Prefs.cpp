#include "core/Prefs.h"

#include <QCoreApplication>
#include <QSettings>
#include <QVariant>

namespace Prefs {
namespace {

bool& defaultsRegistered()
{
    static bool registered = false;
    return registered;
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

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kavo"),
                     QStringLiteral("Kavo"));
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
        f.handler(QCoreApplication::translate("Prefs", "%1 cannot be written.").arg(s.fileName()));
    }
    return false;
}

// QSettings' INI backend stores every value as text.
bool convert(const QVariant& v, bool*)
{
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == u"true" || s == u"1" || s == u"yes" || s == u"on";
    }
    return v.toBool();
}

double convert(const QVariant& v, double*)
{
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d : 0.0;
}

// Unquoted text with commas comes back from the INI file as a list.
QString convert(const QVariant& v, QString*)
{
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

} // namespace

template <class T> T value(const Key<T>& key)
{
    const QVariant stored = settings().value(QString::fromLatin1(key.name));
    if (stored.isValid())
        return convert(stored, static_cast<T*>(nullptr));
    return key.registered && defaultsRegistered() ? key.registeredDefault : T{};
}

template <class T> bool setValue(const Key<T>& key, const T& value)
{
    QSettings s = settings();
    s.setValue(QString::fromLatin1(key.name), value);
    return checked(s);
}

template <class T> bool remove(const Key<T>& key)
{
    QSettings s = settings();
    s.remove(QString::fromLatin1(key.name));
    return checked(s);
}

template bool value(const Key<bool>&);
template double value(const Key<double>&);
template QString value(const Key<QString>&);
template bool setValue(const Key<bool>&, const bool&);
template bool setValue(const Key<double>&, const double&);
template bool setValue(const Key<QString>&, const QString&);
template bool remove(const Key<bool>&);
template bool remove(const Key<double>&);
template bool remove(const Key<QString>&);

void registerDefaults()
{
    defaultsRegistered() = true;
}

void resetRegisteredDefaults()
{
    defaultsRegistered() = false;
}

void setFailureHandler(std::function<void(const QString& why)> handler)
{
    failures() = {std::move(handler), false};
}

QString fileName()
{
    return settings().fileName();
}

} // namespace Prefs
