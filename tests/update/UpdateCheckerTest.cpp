#include "update/UpdateChecker.h"

#include "app/Prefs.h"

#include "FeedServer.h"
#include "QtPrinters.h"
#include "TestEnvironment.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Release = UpdateChecker::Release;

const QString upToDateTitle = QStringLiteral("You're up to date");
const QString failedTitle = QStringLiteral("Couldn't check for updates");
const QString failedText = QStringLiteral(
    "Kavo couldn't reach the update server. Check your internet connection and try again later.");
const QString installSentence =
    QStringLiteral("\n\nDownload it and install it over this version. Your settings are kept.");

struct Alert
{
    QString title;
    QString text;
    QStringList buttons;
};

class UpdateCheckerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("1.4"));
        Prefs::resetRegisteredDefaults();
        Prefs::registerDefaults();
        for (const char* key :
             {Prefs::checkForUpdates, Prefs::lastUpdateCheck, Prefs::announcedVersion})
            Prefs::remove(key);
        checker = makeChecker(server.url());
    }

    void TearDown() override { QCoreApplication::setApplicationVersion(KAVO_VERSION); }

    std::unique_ptr<UpdateChecker> makeChecker(const QUrl& feed)
    {
        auto c = std::make_unique<UpdateChecker>(feed);
        c->setClock([this] { return clock; });
        c->onChange = [this] { ++changes; };
        c->onAlert = [this](const QString& title, const QString& text, const QStringList& buttons) {
            alerts.push_back({title, text, buttons});
            return choice;
        };
        c->onOpenUrl = [this](const QUrl& url) { opened.append(url); };
        return c;
    }

    // Waits until every request of `c` has been handled.
    static bool settled(UpdateChecker& c)
    {
        return TestEnv::waitUntil([&] { return c.requestsInFlight() == 0; });
    }

    void runCheck(bool userInitiated)
    {
        checker->check(userInitiated);
        ASSERT_TRUE(settled(*checker));
    }

    FeedServer server;
    std::unique_ptr<UpdateChecker> checker;
    double clock = 1700000000.0;
    int changes = 0;
    std::vector<Alert> alerts;
    int choice = 1; // "Later"
    QList<QUrl> opened;
};

TEST_F(UpdateCheckerTest, AutomaticChecksAnnounceEachNewVersionOnce)
{
    server.serveRelease("1.5", "https://example.org/kavo/1.5");
    runCheck(false);
    EXPECT_EQ(checker->available(), (Release{"1.5", "https://example.org/kavo/1.5", std::nullopt}));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Prefs::stringValue(Prefs::announcedVersion), "1.5");
    EXPECT_EQ(Prefs::doubleValue(Prefs::lastUpdateCheck), clock);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, "Kavo 1.5 is available");
    EXPECT_EQ(alerts[0].text, "You have version 1.4." + installSentence);
    EXPECT_EQ(alerts[0].buttons, QStringList({"Download", "Later"}));
    EXPECT_TRUE(opened.isEmpty()) << "\"Later\" opens nothing";

    // The same version again: still on offer, reported, not announced.
    runCheck(false);
    EXPECT_TRUE(checker->available());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(alerts.size(), 1u);

    // A user who asks is always told.
    runCheck(true);
    EXPECT_EQ(changes, 3);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[1].title, "Kavo 1.5 is available");

    // A newer version is announced once more.
    server.serveRelease("1.10");
    runCheck(false);
    ASSERT_EQ(alerts.size(), 3u);
    EXPECT_EQ(alerts[2].title, "Kavo 1.10 is available");
    EXPECT_EQ(Prefs::stringValue(Prefs::announcedVersion), "1.10");
}

TEST_F(UpdateCheckerTest, NotesStandBetweenTheVersionAndTheInstructions)
{
    const std::pair<std::string, QString> cases[] = {
        {R"("notes": "Faster shelves.\nFewer bugs.")",
         "You have version 1.4.\n\nFaster shelves.\nFewer bugs." + installSentence},
        {R"("notes": "")", "You have version 1.4." + installSentence},
        {R"("notes": null)", "You have version 1.4." + installSentence},
        // Notes far beyond what an alert can show are cut with an ellipsis.
        {"\"notes\": \"" + std::string(900 * 1024, 'n') + "\"",
         "You have version 1.4.\n\n" + QString(UpdateChecker::maxNotesLength, u'n') +
             QStringLiteral("\u2026") + installSentence},
    };
    for (const auto& [notes, text] : cases) {
        alerts.clear();
        server.response.body =
            QByteArray(R"({"version": "2.0", "url": "https://e.org", )") + notes.c_str() + '}';
        runCheck(true);
        ASSERT_EQ(alerts.size(), 1u) << notes.substr(0, 40);
        EXPECT_EQ(alerts[0].text, text) << notes.substr(0, 40);
    }
}

TEST_F(UpdateCheckerTest, DownloadOpensOnlyAValidWebAddress)
{
    choice = 0;
    server.serveRelease("1.5", "https://example.org/kavo/1.5?from=app");
    runCheck(true);
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://example.org/kavo/1.5?from=app")}));

    for (const char* url : {"not a url", "file:///usr/bin/xterm", "javascript:alert(1)"}) {
        opened.clear();
        server.serveRelease("1.5", url);
        runCheck(true);
        EXPECT_TRUE(opened.isEmpty()) << url;
    }
}

TEST_F(UpdateCheckerTest, RunningOrOlderVersionClearsTheOffer)
{
    server.serveRelease("1.5");
    runCheck(false);
    ASSERT_TRUE(checker->available());

    for (const char* version : {"1.4", "1.4.0", "1.3.9", "v9"}) {
        alerts.clear();
        const int before = changes;
        server.serveRelease(version);
        runCheck(true);
        EXPECT_FALSE(checker->available()) << version;
        EXPECT_EQ(changes, before + 1) << version;
        ASSERT_EQ(alerts.size(), 1u) << version;
        EXPECT_EQ(alerts[0].title, upToDateTitle);
        EXPECT_EQ(alerts[0].text, "Kavo 1.4 is the latest version.");
        EXPECT_TRUE(alerts[0].buttons.isEmpty());

        // Automatic checks stay silent about it.
        runCheck(false);
        EXPECT_EQ(changes, before + 2) << version;
        EXPECT_EQ(alerts.size(), 1u) << version;
    }
    EXPECT_EQ(Prefs::stringValue(Prefs::announcedVersion), "1.5");
}

TEST_F(UpdateCheckerTest, FailedChecksChangeNothingAndTellOnlyAUserWhoAsked)
{
    const QByteArray valid = R"({"version": "9.0", "url": "https://e.org"})";
    // Valid JSON, but far larger than any feed.
    const QByteArray huge = R"({"version": "9.0", "url": "https://e.org", "pad": ")" +
                            QByteArray(UpdateChecker::maxBodyBytes, 'x') + "\"}";
    const std::pair<const char*, FeedServer::Response> failures[] = {
        {"304", {304, {}, true, false}},
        {"500", {500, valid, true, false}},
        {"404", {404, valid, true, false}},
        {"201 with a feed", {201, valid, true, false}},
        {"203 with a feed", {203, valid, true, false}},
        {"empty body", {200, {}, true, false}},
        {"malformed JSON", {200, R"({"version": "9.0", "url": )", true, false}},
        {"HTML page", {200, "<html><body>Moved</body></html>", true, false}},
        {"numeric notes", {200, R"({"version": "9.0", "url": "u", "notes": 1})", true, false}},
        {"oversized body", {200, huge, true, false}},
        {"oversized body without length", {200, huge, false, false}},
    };

    server.serveRelease("1.5");
    runCheck(false);
    const std::optional<Release> offered = checker->available();
    ASSERT_TRUE(offered);
    const double lastCheck = clock;
    alerts.clear();

    for (const auto& [name, response] : failures) {
        clock += 100;
        alerts.clear();
        const int before = changes;
        server.response = response;
        runCheck(true);
        ASSERT_EQ(alerts.size(), 1u) << name;
        EXPECT_EQ(alerts[0].title, failedTitle) << name;
        EXPECT_EQ(alerts[0].text, failedText) << name;
        EXPECT_TRUE(alerts[0].buttons.isEmpty()) << name;

        runCheck(false);
        EXPECT_EQ(alerts.size(), 1u) << name << ": automatic failures are silent";
        EXPECT_EQ(changes, before) << name;
        EXPECT_EQ(checker->available(), offered) << name;
        EXPECT_EQ(Prefs::doubleValue(Prefs::lastUpdateCheck), lastCheck) << name;
    }
}

TEST_F(UpdateCheckerTest, UnreachableServersCountAsFailures)
{
    // A server that accepts the request and never answers.
    server.response.silent = true;
    checker->setTransferTimeout(200);
    runCheck(true);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, failedTitle);

    // Nobody listening.
    alerts.clear();
    const QUrl address = server.url();
    server.close();
    runCheck(true);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, failedTitle);

    // A readable feed that did not come over HTTP.
    alerts.clear();
    QTemporaryDir dir;
    const QString path = dir.filePath("version.json");
    ASSERT_TRUE(TestEnv::writeFile(path, R"({"version": "9.0", "url": "https://e.org"})"));
    auto local = makeChecker(QUrl::fromLocalFile(path));
    local->check(true);
    ASSERT_TRUE(settled(*local));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, failedTitle);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(Prefs::value(Prefs::lastUpdateCheck).isValid());
}

TEST_F(UpdateCheckerTest, RequestIsAPlainGetWithTheTruncatedTime)
{
    QUrl feed = server.url();
    feed.setQuery(QStringLiteral("channel=beta&t=1"));
    checker = makeChecker(feed);
    clock = 1700000123.99;
    server.serveRelease("1.4");
    runCheck(false);
    EXPECT_EQ(server.requests, QStringList({"GET /version.json?t=1700000123 HTTP/1.1"}));
}

TEST_F(UpdateCheckerTest, EveryCheckIsARequestOfItsOwn)
{
    server.serveRelease("1.5");
    checker->check(false);
    checker->check(false);
    EXPECT_EQ(checker->requestsInFlight(), 2);
    ASSERT_TRUE(settled(*checker));
    EXPECT_EQ(server.requests.size(), 2);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(alerts.size(), 1u) << "the second outcome finds the version announced";
}

TEST_F(UpdateCheckerTest, AutomaticGateOpensAfterTwentyHours)
{
    server.serveRelease("1.4");
    const double day = UpdateChecker::minCheckSpacingSeconds;
    const std::pair<double, bool> cases[] = {
        {clock - day + 1, false},
        {clock - day, false},
        {clock - day - 1, true},
        {clock, false},
        {clock + 10, false},
        {clock + day + 1, true},
        {0, true},
        {clock - 3 * day, true},
    };
    for (const auto& [last, due] : cases) {
        Prefs::setValue(Prefs::lastUpdateCheck, last);
        const qsizetype before = server.requests.size();
        checker->checkIfDue();
        EXPECT_EQ(checker->requestsInFlight(), due ? 1 : 0) << qint64(last - clock);
        ASSERT_TRUE(settled(*checker));
        EXPECT_EQ(server.requests.size(), before + (due ? 1 : 0)) << qint64(last - clock);
    }

    // Never checked at all.
    Prefs::remove(Prefs::lastUpdateCheck);
    checker->checkIfDue();
    EXPECT_EQ(checker->requestsInFlight(), 1);
    ASSERT_TRUE(settled(*checker));
}

TEST_F(UpdateCheckerTest, OnlySuccessAdvancesTheGate)
{
    server.response = {500, {}, true, false};
    runCheck(true);
    EXPECT_FALSE(Prefs::value(Prefs::lastUpdateCheck).isValid());
    checker->checkIfDue();
    EXPECT_EQ(checker->requestsInFlight(), 1) << "a failure is retried at the next tick";
    ASSERT_TRUE(settled(*checker));

    // A manual success postpones the automatic check by 20 hours.
    server.serveRelease("1.4");
    runCheck(true);
    EXPECT_EQ(Prefs::doubleValue(Prefs::lastUpdateCheck), clock);
    clock += UpdateChecker::minCheckSpacingSeconds;
    checker->checkIfDue();
    EXPECT_EQ(checker->requestsInFlight(), 0);
    clock += 1;
    checker->checkIfDue();
    EXPECT_EQ(checker->requestsInFlight(), 1);
    ASSERT_TRUE(settled(*checker));
}

TEST_F(UpdateCheckerTest, TurnedOffAutomaticChecksRequestNothing)
{
    Prefs::setValue(Prefs::checkForUpdates, false);
    server.serveRelease("1.5");
    checker->setSchedule(0, 10);
    checker->start();
    checker->checkIfDue();
    EXPECT_EQ(checker->requestsInFlight(), 0);
    TestEnv::processEventsFor(100);
    EXPECT_TRUE(server.requests.isEmpty());

    // The user can still ask.
    runCheck(true);
    EXPECT_EQ(server.requests.size(), 1);
    EXPECT_TRUE(checker->available());
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, "Kavo 1.5 is available");
}

TEST_F(UpdateCheckerTest, StartChecksSoonAndThenOnEveryTick)
{
    // Failures leave the gate open, so every tick asks again.
    server.response = {500, {}, true, false};
    checker->setSchedule(0, 20);
    checker->start();
    checker->start();
    EXPECT_TRUE(TestEnv::waitUntil([&] { return server.requests.size() >= 3; }));
    EXPECT_TRUE(alerts.empty());

    // After a success the ticks find nothing due.
    server.serveRelease("1.4");
    ASSERT_TRUE(TestEnv::waitUntil([&] { return changes == 1; }));
    ASSERT_TRUE(settled(*checker));
    const qsizetype asked = server.requests.size();
    TestEnv::processEventsFor(100);
    EXPECT_EQ(server.requests.size(), asked);
}

TEST_F(UpdateCheckerTest, AnswersAfterTheCheckerIsGoneAreDropped)
{
    server.serveRelease("1.5");
    checker->check(true);
    checker->check(false);
    checker.reset();
    TestEnv::processEventsFor(200);
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(changes, 0);
}

} // namespace
