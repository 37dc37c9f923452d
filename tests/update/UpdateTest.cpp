// Updates: the version rule, the feed and its addresses, and the checker
// against a local HTTP server.
#include "update/UpdateChecker.h"

#include "core/Prefs.h"

#include "FeedServer.h"
#include "TestEnvironment.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Release = UpdateChecker::Release;

TEST(UpdateFeedTest, VersionsCompareComponentByComponentAsNumbers)
{
    const struct { const char *a, *b; bool newer; } cases[] = {
        {"1.10", "1.9", true}, {"1.2", "1.2.0", false}, {"1.2.0", "1.2", false}, {"1.0.1", "1", true},
        // A component that is not a number counts as 0; empty ones are dropped.
        {"v2.0", "1.5", false}, {"1.3-beta", "1.2", false}, {"", "", false}, {"0.0.1", "", true},
        {"1..2", "1.1", true}, {"...", "0", false},
        // Signs, limits and characters that merely look like digits.
        {"1", "1.-1", true}, {"-", "-1", true}, {"1.+-1", "1", false}, {"00010", "9", true},
        {"9223372036854775807", "9223372036854775806", true}, {"9223372036854775808", "1", false},
        {" 2", "1", false}, {"0x10", "1", false}, {"\u0662", "1", false}, {"\uff12", "1", false},
    };
    for (const auto& c : cases) {
        const QString a = QString::fromUtf8(c.a), b = QString::fromUtf8(c.b);
        EXPECT_EQ(UpdateChecker::isVersion(a, b), c.newer) << c.a << " vs " << c.b;
        // A strict order: never newer both ways, never newer than itself.
        EXPECT_FALSE(c.newer && UpdateChecker::isVersion(b, a)) << c.b << " vs " << c.a;
        EXPECT_FALSE(UpdateChecker::isVersion(a, a)) << c.a;
    }
}

TEST(UpdateFeedTest, AFeedIsOneObjectWithAVersionAUrlAndMaybeNotesAtAWebAddress)
{
    const std::pair<QByteArray, std::optional<Release>> cases[] = {
        {R"({"version":"1.5","url":"https://e.org/d","notes":"Faster.","extra":[1,{}]})",
         Release{"1.5", "https://e.org/d", "Faster."}},
        {R"({"version":"1.5","url":"u","notes":null})", Release{"1.5", "u", std::nullopt}},
        {R"( {"notes":"","url":"","version":"1"} )", Release{"1", "", QString()}},
        {R"({"version":"123456789.0.0.999999999","url":"u"})", Release{"123456789.0.0.999999999", "u", {}}},
        {R"({"version":"2","url":"u","notes":"caf\u00e9 – ok"})", Release{"2", "u", "café – ok"}},
        {R"({"version":"1.5","url":"u","notes":3})", {}},   {R"({"url":"u"})", {}},
        {R"({"version":1.5,"url":"u"})", {}},              {R"({"version":"1.5","url":null})", {}},
        {"null", {}},                                       {R"([{"version":"1.5","url":"u"}])", {}},
        {R"({"version":"1.5","url":"u"} trailing)", {}},    {QByteArray(R"({"version":"1.5","url":"u"})").append('\0'), {}},
        // The version is shown and stored: digits and dots only, short.
        {R"({"version":"5.0 / SECURITY ALERT: Click Download now.","url":"u"})", {}},
        {R"({"version":"","url":"u"})", {}},             {R"({"version":"1.2.3.4.5","url":"u"})", {}},
        {R"({"version":"1.1234567890","url":"u"})", {}}, {R"({"version":"1..2","url":"u"})", {}},
        {R"({"version":".1","url":"u"})", {}},           {R"({"version":"1.","url":"u"})", {}},
        {R"({"version":"-1","url":"u"})", {}},           {R"({"version":"1.0\n","url":"u"})", {}},
        {R"({"version":"\u0661.0","url":"u"})", {}},     {R"({"version":" 1.0","url":"u"})", {}},
    };
    for (const auto& [doc, release] : cases)
        EXPECT_EQ(UpdateChecker::decodeRelease(doc), release) << doc.toStdString();
    // The request carries only the time; only web addresses are opened.
    EXPECT_EQ(UpdateChecker::requestURL(QUrl("https://h.example/version.json?channel=beta&t=5"), 1700000123),
              QUrl("https://h.example/version.json?t=1700000123"));
    EXPECT_EQ(UpdateChecker::downloadURL("http://example.org/a?b=c#d"), QUrl("http://example.org/a?b=c#d"));
    for (const char* text : {"", "not a url", "example.org/kavo", "https://", "https:///path", "https://exa mple.org/",
                             "file:///usr/bin/xterm", "javascript:alert(1)", "smb://server/share", "/etc/passwd"})
        EXPECT_TRUE(UpdateChecker::downloadURL(text).isEmpty()) << text;
}

TEST(UpdateFeedTest, LongNotesAreCutWithAnEllipsisNeverInsideACharacter)
{
    const qsizetype max = UpdateChecker::maxNotesLength;
    const QString a(max - 1, u'a'), face = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
    const std::pair<QString, QString> cases[] = {
        {a + u'b', a + u'b'}, {a + "bc", a + u"b\u2026"}, {a + face, a + u'\u2026'}, {QString(900000, u'x'), QString(max, u'x') + u'\u2026'}};
    for (const auto& [notes, shown] : cases)
        EXPECT_EQ(UpdateChecker::shortenedNotes(notes), shown) << notes.size();
}

class UpdateCheckerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setApplicationVersion("1.4");
        Prefs::resetRegisteredDefaults();
        Prefs::registerDefaults();
        QSettings(Prefs::fileName(), QSettings::IniFormat).clear();
        checker = makeChecker(server.url());
    }
    void TearDown() override { QCoreApplication::setApplicationVersion(KAVO_VERSION); }
    std::unique_ptr<UpdateChecker> makeChecker(const QUrl& feed)
    {
        auto c = std::make_unique<UpdateChecker>(feed);
        c->setClock([this] { return clock; });
        c->onChange = [this] { ++changes; };
        c->onAlert = [this](const QString& title, const QString& text, const QStringList& buttons) {
            alerts << QStringList{title, text, buttons.join(u'|')};
            return 1; // "Later"
        };
        c->onOpenUrl = [this](const QUrl& url) { opened.append(url); };
        return c;
    }
    static bool settled(UpdateChecker& c) { return TestEnv::waitUntil([&] { return !c.requestsInFlight(); }); }
    // Runs one check to its end; answers the title of the alert it showed.
    QString check(bool userInitiated)
    {
        const qsizetype before = alerts.size();
        checker->check(userInitiated);
        EXPECT_TRUE(settled(*checker));
        return alerts.size() > before ? alerts.back()[0] : QString();
    }

    FeedServer server;
    std::unique_ptr<UpdateChecker> checker;
    double clock = 1700000000.0;
    int changes = 0;
    QList<QStringList> alerts; // title, text, buttons
    QList<QUrl> opened;
};

const QString install = "\n\nDownload it and install it over this version. Your settings are kept.";

TEST_F(UpdateCheckerTest, ANewVersionIsAnnouncedOnceAutomaticallyAndWheneverAsked)
{
    server.serveRelease("1.5", "https://example.org/kavo/1.5");
    EXPECT_EQ(check(false), "Kavo 1.5 is available");
    EXPECT_EQ(checker->available(), (Release{"1.5", "https://example.org/kavo/1.5", std::nullopt}));
    EXPECT_EQ(alerts.back().mid(1), QStringList({"You have version 1.4." + install, "Download|Later"}));
    EXPECT_EQ(Prefs::value(Prefs::lastUpdateCheck), clock);
    EXPECT_TRUE(opened.isEmpty()) << "\"Later\" opens nothing";
    EXPECT_EQ(check(false), "") << "the same version is on offer, not announced again";
    EXPECT_EQ(check(true), "Kavo 1.5 is available");
    EXPECT_EQ(changes, 3);
    server.serveRelease("1.10");
    EXPECT_EQ(check(false), "Kavo 1.10 is available");
    EXPECT_EQ(Prefs::value(Prefs::announcedVersion), "1.10");

    // The running version or an older one clears the offer; only a user who
    // asked hears so.
    for (const char* version : {"1.4", "1.4.0", "1.3.9"}) {
        server.serveRelease(version);
        EXPECT_EQ(check(true), "You're up to date") << version;
        EXPECT_FALSE(checker->available()) << version;
        EXPECT_EQ(check(false), "") << version;
    }
}

TEST_F(UpdateCheckerTest, AFailedCheckChangesNothingAndTellsOnlyAUserWhoAsked)
{
    const QByteArray valid = R"({"version": "9.0", "url": "https://e.org"})";
    const QByteArray huge = R"({"version": "9.0", "url": "https://e.org", "pad": ")" +
                            QByteArray(UpdateChecker::maxBodyBytes, 'x') + "\"}";
    const std::pair<const char*, FeedServer::Response> failures[] = {
        {"304", {304, {}, true, false}},           {"500", {500, valid, true, false}},
        {"404", {404, valid, true, false}},        {"203 with a feed", {203, valid, true, false}},
        {"empty body", {200, {}, true, false}},    {"HTML page", {200, "<html>Moved</html>", true, false}},
        {"oversized body", {200, huge, true, false}}, {"oversized, no length", {200, huge, false, false}},
        {"a version that is not a number", {200, R"({"version": "9.0 / Click now", "url": "https://e.org"})", true, false}},
    };
    server.serveRelease("1.5");
    check(false);
    const std::optional<Release> offered = checker->available();
    ASSERT_TRUE(offered);
    const double lastCheck = clock;
    for (const auto& [name, response] : failures) {
        clock += 100;
        const int before = changes;
        server.response = response;
        EXPECT_EQ(check(true), "Couldn't check for updates") << name;
        EXPECT_EQ(check(false), "") << name;
        EXPECT_EQ(changes, before) << name;
        EXPECT_EQ(checker->available(), offered) << name;
        EXPECT_EQ(Prefs::value(Prefs::lastUpdateCheck), lastCheck) << name;
    }
    // A server that never answers, one that trickles a byte at a time
    // (never silent long enough for the transfer time-out), nobody listening.
    checker->setTransferTimeout(200);
    checker->setCheckDeadline(1500);
    server.response = {200, valid, true, false, 50};
    EXPECT_EQ(check(true), "Couldn't check for updates");
    server.response.silent = true;
    EXPECT_EQ(check(true), "Couldn't check for updates");
    server.close();
    EXPECT_EQ(check(true), "Couldn't check for updates");
    EXPECT_EQ(checker->available(), offered);
}

TEST_F(UpdateCheckerTest, AutomaticChecksComeTwentyHoursAfterTheLastSuccess)
{
    QUrl feed = server.url();
    feed.setQuery("channel=beta&t=1");
    checker = makeChecker(feed);
    server.serveRelease("1.4");
    const double day = UpdateChecker::minCheckSpacingSeconds;
    const std::pair<double, bool> lastToDue[] = {
        {clock - day + 1, false}, {clock - day, false}, {clock - day - 1, true}, {clock, false},
        {clock + 10, false},      {clock + day + 1, true}, {0, true},           {clock - 3 * day, true},
    };
    for (const auto& [last, due] : lastToDue) {
        Prefs::setValue(Prefs::lastUpdateCheck, last);
        checker->checkIfDue();
        EXPECT_EQ(checker->requestsInFlight(), due ? 1 : 0) << qint64(last - clock);
        ASSERT_TRUE(settled(*checker));
    }
    EXPECT_EQ(server.requests.value(0), "GET /version.json?t=1700000000 HTTP/1.1");

    // A failure leaves the gate open; a success by hand closes it.
    Prefs::remove(Prefs::lastUpdateCheck);
    server.response = {500, {}, true, false};
    check(true);
    checker->checkIfDue();
    EXPECT_EQ(checker->requestsInFlight(), 1) << "a failure is retried at the next tick";
    ASSERT_TRUE(settled(*checker));
    server.serveRelease("1.4");
    check(true);
    clock += day;
    checker->checkIfDue();
    EXPECT_EQ(checker->requestsInFlight(), 0);

    // Turned off, nothing is asked on its own; the user still can.
    Prefs::setValue(Prefs::checkForUpdates, false);
    clock += day + 1;
    checker->checkIfDue();
    EXPECT_EQ(checker->requestsInFlight(), 0);
    EXPECT_EQ(check(true), "You're up to date");
    // Answers that come after the checker is gone are dropped.
    const qsizetype shown = alerts.size();
    checker->check(true);
    checker.reset();
    TestEnv::processEventsFor(200);
    EXPECT_EQ(alerts.size(), shown);
}

} // namespace
