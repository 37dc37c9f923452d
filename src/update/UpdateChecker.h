#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Learns about newer releases from a small JSON document on the project's
// web site, remembers the newest one on offer and tells the user: once per
// new version on its own, and every time the user asks. Main thread only.
//
// Feed document: {"version": "1.4.2", "url": "https://…", "notes": "…"}
// with "notes" optional (a string or null); other keys are ignored.
class UpdateChecker : public QObject
{
    Q_OBJECT

public:
    // One decoded feed document.
    struct Release
    {
        QString version;
        // Kept as text; turned into a URL only when it is opened.
        QString url;
        // Absent when the key is missing or null.
        std::optional<QString> notes;

        bool operator==(const Release&) const = default;
    };

    // Shows an alert with a title, an informative text and push buttons in
    // the given order (an empty list shows the single default "OK" button)
    // and answers the index of the chosen button, or -1 when none was.
    using AlertHook =
        std::function<int(const QString& title, const QString& text, const QStringList& buttons)>;
    // Seconds since 1970-01-01 UTC.
    using Clock = std::function<double()>;

    static constexpr int firstCheckDelaySeconds = 20;
    static constexpr int checkIntervalSeconds = 3600;
    // Minimum time between successful automatic checks (20 hours).
    static constexpr double minCheckSpacingSeconds = 72000;
    static constexpr int requestTimeoutMs = 15000;
    // A whole check, however steadily the server trickles its answer.
    static constexpr int checkDeadlineMs = 30000;
    static constexpr int requiredStatus = 200;
    // A feed is a few hundred bytes; anything beyond this is not a feed.
    static constexpr qint64 maxBodyBytes = 1 << 20;
    // Release notes longer than this many characters are cut with an
    // ellipsis before they reach the alert, which could not lay them out
    // quickly (nor would anyone read them there).
    static constexpr qsizetype maxNotesLength = 4000;
    static QString shortenedNotes(const QString& notes);

    explicit UpdateChecker(const QUrl& feed = feedURL(), QObject* parent = nullptr);
    ~UpdateChecker() override;

    // The newest release when the last successful check found it newer than
    // the running version.
    std::optional<Release> available() const { return m_available; }

    // Called after every successful check.
    std::function<void()> onChange;
    // Shows the alerts; defaults to a modal message box (Alerts::show). Left
    // empty, no alert is shown and nothing is chosen.
    AlertHook onAlert;
    // Opens the download address; defaults to the desktop's URL handler.
    std::function<void(const QUrl&)> onOpenUrl;

    // Runs checkIfDue() 20 seconds from now and then every hour. Calling it
    // again changes nothing.
    void start();
    // The automatic check's gate: checks when "checkForUpdates" is on and the
    // last successful check is more than 20 hours ago (or more than 20 hours
    // ahead, which only a clock that was set wrong can leave behind).
    void checkIfDue();
    // Fetches the feed and reports the outcome. Every call is a request of
    // its own, even while another one is in flight.
    void check(bool userInitiated);

    // Requests sent whose outcome has not been handled yet.
    int requestsInFlight() const { return m_inFlight; }

    // Tests replace the clock, the transfer time-out and the schedule.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setTransferTimeout(int ms) { m_transferTimeoutMs = ms; }
    void setCheckDeadline(int ms) { m_checkDeadlineMs = ms; }
    void setSchedule(int firstDelayMs, int intervalMs);

    // The feed's address (without the "t" item), from the build settings.
    static QUrl feedURL();
    // The feed address with its query replaced by the single item "t" = the
    // Unix time, so that no web cache answers in the server's place.
    static QUrl requestURL(const QUrl& feed, qint64 unixSeconds);
    // The running version, "0" when the application has none.
    static QString currentVersion();
    // Whether version text `a` is newer than `newerThan`: dot-separated
    // components (empty ones dropped) compared numerically as signed 64-bit
    // integers, malformed components counting as 0, missing ones as 0.
    static bool isVersion(const QString& a, const QString& newerThan);
    // The release in a feed document, or none when the document is not a
    // JSON object with string "version" and "url" and a string, null or
    // missing "notes", or when the version is not one to four dot-separated
    // numbers of at most nine digits each (it is shown to the user and
    // stored). Needs no application object.
    static std::optional<Release> decodeRelease(const QByteArray& json);
    // The web address to open for a release's url text, or an empty URL when
    // the text is not a valid http(s) address with a host.
    static QUrl downloadURL(const QString& text);

private:
    double now() const;
    std::optional<Release> releaseFrom(QNetworkReply* reply) const;
    void handle(const std::optional<Release>& release, bool userInitiated);
    void announce(const Release& release);
    int alert(const QString& title, const QString& text, const QStringList& buttons = {});

    QUrl m_feed;
    // Owned as children, so that they go (and their replies with them) only
    // after this object's connections are gone.
    QNetworkAccessManager* m_network = nullptr;
    QTimer* m_timer = nullptr;
    std::optional<Release> m_available;
    Clock m_clock;
    int m_transferTimeoutMs = requestTimeoutMs;
    int m_checkDeadlineMs = checkDeadlineMs;
    int m_firstDelayMs = firstCheckDelaySeconds * 1000;
    int m_intervalMs = checkIntervalSeconds * 1000;
    int m_inFlight = 0;
};
