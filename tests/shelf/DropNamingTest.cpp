#include "shelf/DropNaming.h"

#include <gtest/gtest.h>

namespace {

using DropNaming::textFileName;

TEST(DropNamingTest, TextIsNamedAfterItsFirstLine)
{
    const QString letters = QString(58, u'a');
    // The 32 characters are counted before trimming: two spaces use up two.
    EXPECT_EQ(textFileName("\n\n  " + letters + "\nmore"), QString(30, u'a') + ".txt");
    EXPECT_EQ(textFileName("a/b and c\nsecond"), "a-b and c.txt");
    EXPECT_EQ(textFileName("      \nsecond line"), "Text.txt") << "a line of spaces";
    EXPECT_EQ(textFileName("\t notes \t"), "notes.txt");
    EXPECT_EQ(textFileName("first\r\nsecond"), "first.txt");
    EXPECT_EQ(textFileName(QStringLiteral("\u2028\u2029\u0085line")), "line.txt");
    EXPECT_EQ(textFileName("\n\n\n"), "Text.txt");
}

TEST(DropNamingTest, CharactersAreCountedAsAReaderCountsThem)
{
    // "é" written as e + combining accent is one character; so is a
    // character outside the Basic Multilingual Plane (two UTF-16 units).
    const QString accented = QString("e\u0301").repeated(40);
    EXPECT_EQ(textFileName(accented), QString("e\u0301").repeated(32) + ".txt");
    const QString smiles = QString::fromUtf8("\xF0\x9F\x98\x80").repeated(40);
    EXPECT_EQ(textFileName(smiles), QString::fromUtf8("\xF0\x9F\x98\x80").repeated(32) + ".txt");
}

TEST(DropNamingTest, NamesNeverExceedTheSystemLimit)
{
    // 32 characters of eight combining marks each are far more than 255 bytes.
    const QString heavy = QString("a" + QString(u'\u0301').repeated(8)).repeated(40);
    const QString name = textFileName(heavy);
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_TRUE(name.endsWith(".txt"));
    EXPECT_TRUE(name.startsWith("a\u0301")) << "cut at a character boundary";
    EXPECT_EQ((name.size() - 4) % 9, 0) << "no half characters";

    const QString longHost = QString(250, u'h') + ".example";
    const QString link = DropNaming::linkFileName(QUrl("https://" + longHost + "/x"));
    EXPECT_LE(link.toUtf8().size(), 255);
    EXPECT_TRUE(link.endsWith(".webloc"));
}

TEST(DropNamingTest, NulCharactersNeverReachAFileName)
{
    EXPECT_EQ(textFileName(QString("ab") + QChar(0) + "cd"), "abcd.txt");
}

TEST(DropNamingTest, LinksAreNamedAfterTheirHost)
{
    EXPECT_EQ(DropNaming::linkFileName(QUrl("https://www.example.org/a/b?c")), "www.example.org.webloc");
    EXPECT_EQ(DropNaming::linkFileName(QUrl("mailto:someone@example.org")), "Link.webloc");
    const QByteArray plist = DropNaming::weblocData(QUrl("https://example.org/a?b=1&c=<2>"));
    EXPECT_TRUE(plist.contains("<key>URL</key>"));
    EXPECT_TRUE(plist.contains("<string>https://example.org/a?b=1&amp;c=%3C2%3E</string>"))
        << plist.toStdString();
    EXPECT_TRUE(plist.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
}

TEST(DropNamingTest, SuggestedNamesStayInsideTheDropFolder)
{
    using DropNaming::plainFileName;
    EXPECT_EQ(plainFileName("report.pdf", "Untitled"), "report.pdf");
    EXPECT_EQ(plainFileName("../../.bashrc", "Untitled"), ".bashrc");
    EXPECT_EQ(plainFileName("/etc/passwd", "Untitled"), "passwd");
    EXPECT_EQ(plainFileName("..", "Untitled"), "Untitled");
    EXPECT_EQ(plainFileName("dir/", "Untitled"), "Untitled");
    EXPECT_EQ(plainFileName("", "Untitled"), "Untitled");
    const QString longName = QString(300, u'x') + ".tar.gz";
    const QString fitted = plainFileName(longName, "Untitled");
    EXPECT_LE(fitted.toUtf8().size(), 255);
    EXPECT_TRUE(fitted.endsWith(".gz"));
}

} // namespace
