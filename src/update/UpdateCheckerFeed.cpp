// The pure parts of the update checker: the feed's address and format and
// the version rule. Nothing here needs an application object or touches the
// network, so the fuzzer links this file on its own.
#include "update/UpdateChecker.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QStringView>
#include <QUrlQuery>

#include <algorithm>
#include <limits>

namespace {

// A component is an optional sign and one or more ASCII digits whose value
// fits a signed 64-bit integer; anything else is 0.
qint64 componentValue(QStringView s)
{
    qsizetype i = 0;
    bool negative = false;
    if (!s.isEmpty() && (s[0] == u'+' || s[0] == u'-')) {
        negative = s[0] == u'-';
        i = 1;
    }
    if (i == s.size())
        return 0;

    constexpr quint64 maxPositive = std::numeric_limits<qint64>::max();
    const quint64 limit = negative ? maxPositive + 1 : maxPositive;
    quint64 magnitude = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        // Only ASCII digits: QChar::isDigit() would also take other scripts'.
        if (c < u'0' || c > u'9')
            return 0;
        const unsigned digit = c - u'0';
        if (magnitude > (limit - digit) / 10)
            return 0;
        magnitude = magnitude * 10 + digit;
    }
    if (!negative)
        return static_cast<qint64>(magnitude);
    if (magnitude == limit)
        return std::numeric_limits<qint64>::min();
    return -static_cast<qint64>(magnitude);
}

// Digits and dots only: one to four numbers of at most nine ASCII digits.
bool isWellFormedVersion(const QString& version)
{
    constexpr qsizetype maxParts = 4, maxDigits = 9;
    const QList<QStringView> parts = QStringView(version).split(u'.');
    if (parts.size() > maxParts)
        return false;
    for (const QStringView part : parts) {
        if (part.isEmpty() || part.size() > maxDigits)
            return false;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return false;
        }
    }
    return true;
}

QList<qint64> components(const QString& version)
{
    QList<qint64> out;
    for (const QStringView part : QStringView(version).split(u'.', Qt::SkipEmptyParts))
        out.append(componentValue(part));
    return out;
}

} // namespace

QUrl UpdateChecker::feedURL()
{
    // KAVO_FEED_URL in the environment points the check at another feed (a
    // mirror, or a test server); only web addresses are taken.
    static const QUrl url = [] {
        const QUrl built(QString::fromUtf8(KAVO_FEED_URL));
        const QString chosen = qEnvironmentVariable("KAVO_FEED_URL");
        if (chosen.isEmpty())
            return built;
        const QUrl other(chosen, QUrl::StrictMode);
        if (other.isValid() && !other.host().isEmpty() &&
            (other.scheme() == u"https" || other.scheme() == u"http"))
            return other;
        qWarning("KAVO_FEED_URL is not an http or https address; the built-in feed is used");
        return built;
    }();
    return url;
}

QUrl UpdateChecker::requestURL(const QUrl& feed, qint64 unixSeconds)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("t"), QString::number(unixSeconds));
    QUrl url = feed;
    url.setQuery(query);
    return url;
}

QString UpdateChecker::currentVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("0") : version;
}

bool UpdateChecker::isVersion(const QString& a, const QString& newerThan)
{
    const QList<qint64> x = components(a);
    const QList<qint64> y = components(newerThan);
    const qsizetype n = std::max(x.size(), y.size());
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 u = i < x.size() ? x[i] : 0;
        const qint64 v = i < y.size() ? y[i] : 0;
        if (u != v)
            return u > v;
    }
    return false;
}

std::optional<UpdateChecker::Release> UpdateChecker::decodeRelease(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;

    const QJsonObject object = doc.object();
    const QJsonValue version = object.value(QLatin1String("version"));
    const QJsonValue url = object.value(QLatin1String("url"));
    const QJsonValue notes = object.value(QLatin1String("notes"));
    if (!version.isString() || !url.isString() || !isWellFormedVersion(version.toString()))
        return std::nullopt;

    Release release{version.toString(), url.toString(), std::nullopt};
    if (notes.isString())
        release.notes = notes.toString();
    else if (!notes.isNull() && !notes.isUndefined())
        return std::nullopt;
    return release;
}

QUrl UpdateChecker::downloadURL(const QString& text)
{
    // The address comes from the network and goes to the desktop's URL
    // handler: only a web page or download is ever opened, never a local
    // file or another application's scheme.
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    if (url.scheme() != u"https" && url.scheme() != u"http")
        return {};
    return url;
}
