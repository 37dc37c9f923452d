#include "update/UpdateChecker.h"

#include "core/Prefs.h"
#include "platform/Alerts.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QIcon>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <cmath>

UpdateChecker::UpdateChecker(const QUrl& feed, QObject* parent) : QObject(parent), m_feed(feed)
{
    onAlert = &Alerts::show;
    onOpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

UpdateChecker::~UpdateChecker() = default;

void UpdateChecker::setSchedule(int firstDelayMs, int intervalMs)
{
    m_firstDelayMs = firstDelayMs;
    m_intervalMs = intervalMs;
}

double UpdateChecker::now() const
{
    if (m_clock)
        return m_clock();
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

void UpdateChecker::start()
{
    if (m_timer)
        return;
    QTimer::singleShot(m_firstDelayMs, this, &UpdateChecker::checkIfDue);
    m_timer = new QTimer(this);
    m_timer->setInterval(m_intervalMs);
    connect(m_timer, &QTimer::timeout, this, &UpdateChecker::checkIfDue);
    m_timer->start();
}

void UpdateChecker::checkIfDue()
{
    if (!Prefs::value(Prefs::checkForUpdates))
        return;
    const double last = Prefs::value(Prefs::lastUpdateCheck);
    const double t = now();
    // A record far in the future was written under a clock that was set
    // wrong; waiting for the clock to catch up would stop checks for as long.
    if (!std::isfinite(last) || std::abs(t - last) > minCheckSpacingSeconds)
        check(false);
}

void UpdateChecker::check(bool userInitiated)
{
    QNetworkRequest request(requestURL(m_feed, static_cast<qint64>(now())));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(m_transferTimeoutMs);
    // The network machinery (its thread, its connections) lives only while
    // checks are under way: an idle Kavo holds none of it. Nothing of a
    // check outlives the process: no disk cache, cookies only in memory.
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        m_network->setCache(nullptr);
        m_network->setCookieJar(new QNetworkCookieJar(m_network));
        m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    }
    QNetworkReply* reply = m_network->get(request);
    ++m_inFlight;
    // The transfer time-out counts only silence: a server sending a byte
    // now and then would keep the check open for hours.
    QTimer::singleShot(m_checkDeadlineMs, reply, &QNetworkReply::abort);

    // Stop as soon as the answer is clearly too large to be a feed.
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64 total) {
        if (received > maxBodyBytes || total > maxBodyBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply] {
        if (reply->bytesAvailable() > maxBodyBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, userInitiated] {
        reply->deleteLater();
        std::optional<Release> release = releaseFrom(reply);
        // Alerts run a modal loop: never inside the reply's own signal.
        QMetaObject::invokeMethod(
            this,
            [this, release = std::move(release), userInitiated] {
                if (--m_inFlight == 0 && m_network) {
                    m_network->deleteLater(); // after the reply it owns
                    m_network = nullptr;
                }
                handle(release, userInitiated);
            },
            Qt::QueuedConnection);
    });
}

std::optional<UpdateChecker::Release> UpdateChecker::releaseFrom(QNetworkReply* reply) const
{
    // A transfer that failed part-way (time-out, abort) is no answer, even
    // after a 200 status line.
    if (reply->error() != QNetworkReply::NoError)
        return std::nullopt;
    // Only HTTP replies carry a status; anything else is not an answer.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || status.toInt() != requiredStatus)
        return std::nullopt;
    const QByteArray body = reply->read(maxBodyBytes + 1);
    if (body.isEmpty() || body.size() > maxBodyBytes)
        return std::nullopt;
    return decodeRelease(body);
}

void UpdateChecker::handle(const std::optional<Release>& release, bool userInitiated)
{
    if (!release) {
        if (userInitiated) {
            alert(tr("Couldn't check for updates"),
                  tr("Kavo couldn't reach the update server. Check your internet connection and "
                     "try again later."));
        }
        return;
    }

    Prefs::setValue(Prefs::lastUpdateCheck, now());
    if (isVersion(release->version, currentVersion())) {
        m_available = release;
        if (onChange)
            onChange();
        if (!userInitiated) {
            const QVariant announced = Prefs::value(Prefs::announcedVersion);
            if (announced.isValid() && announced.toString() == release->version)
                return;
        }
        Prefs::setValue(Prefs::announcedVersion, release->version);
        announce(*release);
    } else {
        m_available.reset();
        if (onChange)
            onChange();
        if (userInitiated) {
            alert(tr("You're up to date"), tr("Kavo %1 is the latest version.").arg(currentVersion()));
        }
    }
}

void UpdateChecker::announce(const Release& release)
{
    QString text = tr("You have version %1.").arg(currentVersion());
    if (release.notes && !release.notes->isEmpty())
        text += QStringLiteral("\n\n") + shortenedNotes(*release.notes);
    text += QStringLiteral("\n\n") +
            tr("Download it and install it over this version. Your settings are kept.");

    const QPointer<UpdateChecker> self(this);
    const int choice =
        alert(tr("Kavo %1 is available").arg(release.version), text, {tr("Download"), tr("Later")});
    // The alert's modal loop may have outlived this checker, or a check that
    // finished meanwhile may have changed the release on offer.
    if (!self || choice != 0 || !m_available)
        return;
    const QUrl url = downloadURL(m_available->url);
    if (!url.isEmpty() && onOpenUrl)
        onOpenUrl(url);
}

QString UpdateChecker::shortenedNotes(const QString& notes)
{
    if (notes.size() <= maxNotesLength)
        return notes;
    // Never split a character that takes two UTF-16 units.
    qsizetype cut = maxNotesLength;
    if (notes.at(cut - 1).isHighSurrogate())
        --cut;
    return notes.left(cut) + QStringLiteral("\u2026");
}

int UpdateChecker::alert(const QString& title, const QString& text, const QStringList& buttons)
{
    // A copy: the alert's modal loop may outlive this checker and its hook.
    const AlertHook hook = onAlert;
    return hook ? hook(title, text, buttons) : -1;
}
