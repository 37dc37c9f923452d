#include "update/UpdateChecker.h"

#include "QtPrinters.h"

#include <QCoreApplication>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace {

using Release = UpdateChecker::Release;

struct VersionCase
{
    const char* a;
    const char* b;
    bool newer;
};

TEST(VersionRule, ComparesComponentsNumerically)
{
    const VersionCase cases[] = {
        {"1.10", "1.9", true},
        {"1.9", "1.10", false},
        {"1.2", "1.2.0", false},
        {"1.2.0", "1.2", false},
        {"2", "1.9.9", true},
        {"1.0.1", "1", true},
        // A component that is not a number counts as 0.
        {"v2.0", "1.5", false},
        {"1.3-beta", "1.2", false},
        {"1.2.1", "1.2.+1", false},
        {"", "", false},
        {"0.0.1", "", true},
        {"word", "0.1", false},
        // Empty components are dropped, wherever they are.
        {"1..2", "1.1", true},
        {".1.2", "1.1", true},
        {"1.2.", "1.1.9", true},
        {"...", "0", false},
        // Signs, limits and characters that merely look like digits.
        {"1", "1.-1", true},
        {"-1", "0", false},
        {"+", "0", false},
        {"-", "-1", true},
        {"1.+-1", "1", false},
        {"00010", "9", true},
        {"9223372036854775807", "9223372036854775806", true},
        {"-9223372036854775807", "-9223372036854775808", true},
        {"9223372036854775808", "1", false},
        {"-9223372036854775809", "-1", true},
        {"99999999999999999999999", "1", false},
        {" 2", "1", false},
        {"2 ", "1", false},
        {"0x10", "1", false},
        {"\u0662", "1", false},
        {"\uff12", "1", false},
    };
    for (const VersionCase& c : cases) {
        const QString a = QString::fromUtf8(c.a);
        const QString b = QString::fromUtf8(c.b);
        EXPECT_EQ(UpdateChecker::isVersion(a, b), c.newer) << c.a << " vs " << c.b;
        // A strict order: never newer both ways, never newer than itself.
        if (c.newer) {
            EXPECT_FALSE(UpdateChecker::isVersion(b, a)) << c.b << " vs " << c.a;
        }
        EXPECT_FALSE(UpdateChecker::isVersion(a, a)) << c.a;
    }
}

TEST(ReleaseDecoding, ReadsTheThreeKeysAndIgnoresOthers)
{
    EXPECT_EQ(UpdateChecker::decodeRelease(
                  R"({"version":"1.5","url":"https://e.org/d","notes":"Faster.","extra":[1,{}]})"),
              (Release{"1.5", "https://e.org/d", QStringLiteral("Faster.")}));
    EXPECT_EQ(UpdateChecker::decodeRelease(R"({"version":"1.5","url":"u"})"),
              (Release{"1.5", "u", std::nullopt}));
    EXPECT_EQ(UpdateChecker::decodeRelease(R"({"version":"1.5","url":"u","notes":null})"),
              (Release{"1.5", "u", std::nullopt}));
    EXPECT_EQ(UpdateChecker::decodeRelease(R"( {"notes":"","url":"","version":""} )"),
              (Release{"", "", QString()}));
    // Text is decoded as UTF-8 with its escapes.
    const auto unicode =
        UpdateChecker::decodeRelease(R"({"version":"2","url":"u","notes":"caf\u00e9 – ok"})");
    ASSERT_TRUE(unicode);
    EXPECT_EQ(unicode->notes, QString::fromUtf8("café – ok"));
}

TEST(ReleaseDecoding, RejectsWrongTypesAndMissingKeys)
{
    const char* const unusable[] = {
        R"({"version":"1.5","url":"u","notes":3})",
        R"({"version":"1.5","url":"u","notes":false})",
        R"({"version":"1.5","url":"u","notes":["a"]})",
        R"({"version":"1.5","url":"u","notes":{}})",
        R"({"url":"u"})",
        R"({"version":"1.5"})",
        R"({"version":1.5,"url":"u"})",
        R"({"version":"1.5","url":null})",
        R"({"version":null,"url":"u"})",
        R"({"version":"1.5","url":{"href":"u"}})",
        R"({})",
    };
    for (const char* doc : unusable)
        EXPECT_FALSE(UpdateChecker::decodeRelease(doc)) << doc;
}

TEST(ReleaseDecoding, RejectsDocumentsThatAreNotOneObject)
{
    const QByteArray unusable[] = {
        "",
        "   ",
        "null",
        "\"1.5\"",
        "1.5",
        "true",
        R"([{"version":"1.5","url":"u"}])",
        R"({"version":"1.5","url":"u")",
        R"({"version":"1.5","url":"u"} trailing)",
        R"({"version":"1.5","url":"u"}{})",
        R"({"version":'1.5',"url":"u"})",
        R"({version:"1.5",url:"u"})",
        "<html>Not here</html>",
        QByteArray(R"({"version":"1.5","url":"u"})").append('\0'),
        QByteArray(R"({"version":"1.5","url":"u"})").prepend('\0'),
    };
    for (const QByteArray& doc : unusable)
        EXPECT_FALSE(UpdateChecker::decodeRelease(doc)) << doc.toStdString();
}

TEST(ReleaseFeed, RequestAddressCarriesOnlyTheTimeItem)
{
    const QUrl feed = UpdateChecker::feedURL();
    EXPECT_EQ(feed, QUrl(QStringLiteral(KAVO_FEED_URL)));
    EXPECT_FALSE(feed.hasQuery());

    const QUrl request = UpdateChecker::requestURL(
        QUrl("https://h.example/version.json?channel=beta&t=5"), 1700000123);
    EXPECT_EQ(request.toString(), "https://h.example/version.json?t=1700000123");
    EXPECT_EQ(UpdateChecker::requestURL(feed, 0).query(), "t=0");
}

TEST(ReleaseFeed, RunningVersionFallsBackToZero)
{
    QCoreApplication::setApplicationVersion(QString());
    EXPECT_EQ(UpdateChecker::currentVersion(), "0");
    QCoreApplication::setApplicationVersion("2.1.3");
    EXPECT_EQ(UpdateChecker::currentVersion(), "2.1.3");
    QCoreApplication::setApplicationVersion(KAVO_VERSION);
}

TEST(ReleaseFeed, OpensOnlyWebAddresses)
{
    EXPECT_EQ(UpdateChecker::downloadURL("https://example.org/kavo/1.5"),
              QUrl("https://example.org/kavo/1.5"));
    EXPECT_EQ(UpdateChecker::downloadURL("http://example.org/a?b=c#d"),
              QUrl("http://example.org/a?b=c#d"));
    const char* const refused[] = {"",
                                   "not a url",
                                   "example.org/kavo",
                                   "https://",
                                   "https:///path",
                                   "https://exa mple.org/",
                                   "file:///usr/bin/xterm",
                                   "javascript:alert(1)",
                                   "mailto:a@example.org",
                                   "smb://server/share",
                                   "/etc/passwd"};
    for (const char* text : refused)
        EXPECT_TRUE(UpdateChecker::downloadURL(text).isEmpty()) << text;
}

} // namespace
