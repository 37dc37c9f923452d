// The shipped translations: every text of the program translated in each
// language, finished, with the same placeholders and all plural forms.
#include "app/Translations.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>

// Test names and failures show the language as text.
void PrintTo(const QString& s, std::ostream* os) { *os << s.toStdString(); }

namespace {

struct Message
{
    QString context, source;
    bool numerus = false;
    bool unfinished = false;
    QStringList translations; // one, or one per plural form
};

// The messages of a .ts file, less those its sources no longer have.
std::optional<QList<Message>> readTs(const QString& path, QString* problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return std::nullopt;
    }
    QList<Message> out;
    QXmlStreamReader xml(&file);
    QString context;
    std::optional<Message> m;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto name = xml.name();
        if (name == u"context") {
            if (m)
                out << *m;
            m.reset();
        } else if (name == u"name" && !m) {
            context = xml.readElementText();
        } else if (name == u"message") {
            if (m)
                out << *m;
            m = Message{context, {}, xml.attributes().value(QStringLiteral("numerus")) == u"yes", false, {}};
        } else if (m && name == u"source") {
            m->source = xml.readElementText();
        } else if (m && name == u"translation") {
            const auto type = xml.attributes().value(QStringLiteral("type"));
            if (type == u"vanished" || type == u"obsolete") {
                m.reset();
                continue;
            }
            m->unfinished = type == u"unfinished";
            if (!m->numerus)
                m->translations << xml.readElementText();
        } else if (m && name == u"numerusform") {
            m->translations << xml.readElementText();
        }
    }
    if (m)
        out << *m;
    if (xml.hasError()) {
        *problem = xml.errorString();
        return std::nullopt;
    }
    return out;
}

// The placeholders of a text, each with how often it occurs: "%1", "%L2", "%n", "%Ln".
QMap<QString, int> placeholders(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("%L?(?:[1-9][0-9]?|n)"));
    QMap<QString, int> found;
    for (const QRegularExpressionMatch& match : re.globalMatch(text))
        ++found[match.captured()];
    return found;
}

std::string show(const Message& m) { return QString(m.context + u": " + m.source.left(60)).toStdString(); }

// The plural forms each language has in Qt (German one and other; French
// one for 0 and 1, other; English one and other).
int pluralForms(const QString& language)
{
    static const QMap<QString, int> forms{{"de", 2}, {"en", 2}, {"fr", 2}};
    return forms.value(language, -1);
}

QString tsFile(const QString& language)
{
    return QStringLiteral(KAVO_SOURCE_DIR "/translations/kavo_%1.ts").arg(language);
}

// The messages of the program's sources now, as lupdate finds them.
std::optional<QList<Message>> sourceMessages(const QString& language, QString* problem)
{
    QTemporaryDir dir;
    const QString ts = dir.filePath(QStringLiteral("kavo_%1.ts").arg(language));
    QProcess lupdate;
    lupdate.start(QStringLiteral(KAVO_LUPDATE),
                  {"-silent", "-locations", "none", KAVO_SOURCE_DIR "/src", "-ts", ts});
    if (!lupdate.waitForFinished(60000) || lupdate.exitStatus() != QProcess::NormalExit ||
        lupdate.exitCode() != 0) {
        *problem = "lupdate failed: " + QString::fromLocal8Bit(lupdate.readAllStandardError());
        return std::nullopt;
    }
    return readTs(ts, problem);
}

class ShippedTranslation : public ::testing::TestWithParam<QString>
{
};

TEST_P(ShippedTranslation, EveryMessageIsFinishedWithTheSamePlaceholdersAndAllPluralForms)
{
    const QString language = GetParam();
    QString problem;
    const auto messages = readTs(tsFile(language), &problem);
    ASSERT_TRUE(messages) << problem.toStdString();
    ASSERT_FALSE(messages->isEmpty());
    ASSERT_GT(pluralForms(language), 0) << "no plural rule known for " << language.toStdString();
    for (const Message& m : *messages) {
        EXPECT_FALSE(m.unfinished) << show(m);
        EXPECT_EQ(m.translations.size(), m.numerus ? pluralForms(language) : 1) << show(m);
        for (const QString& t : m.translations) {
            EXPECT_FALSE(t.isEmpty()) << show(m);
            EXPECT_EQ(placeholders(t), placeholders(m.source)) << show(m) << " -> " << t.toStdString();
        }
    }
}

TEST_P(ShippedTranslation, HoldsEveryTextOfTheProgram)
{
    const QString language = GetParam();
    QString problem;
    const auto shipped = readTs(tsFile(language), &problem);
    ASSERT_TRUE(shipped) << problem.toStdString();
    const auto wanted = sourceMessages(language, &problem);
    ASSERT_TRUE(wanted) << problem.toStdString();
    ASSERT_FALSE(wanted->isEmpty());
    QSet<QString> have;
    for (const Message& m : *shipped)
        have.insert(m.context + u'\x1f' + m.source);
    // English, the sources' language, needs only the plural forms.
    const bool pluralsOnly = language == u"en";
    for (const Message& m : *wanted) {
        if (pluralsOnly && !m.numerus)
            continue;
        EXPECT_TRUE(have.contains(m.context + u'\x1f' + m.source)) << "untranslated: " << show(m);
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, ShippedTranslation,
                         ::testing::ValuesIn(QString(KAVO_LANGUAGES).split(u':')),
                         [](const auto& info) { return info.param.toStdString(); });

// The program's texts and Qt's own, in the first of the user's languages
// that Kavo speaks; English before any other wins.
struct LanguageCase
{
    const char* name;
    QStringList languages; // as QLocale::uiLanguages() gives them
    QString installed;
    QString one, two; // "%Ln items" for 1 and 2
    QString cancel;   // Qt's own button
};

void PrintTo(const LanguageCase& c, std::ostream* os) { *os << c.name; }

class LanguageChoice : public ::testing::TestWithParam<LanguageCase>
{
protected:
    static void uninstallAll()
    {
        for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
    // The tests' English comes back after each case.
    void TearDown() override
    {
        uninstallAll();
        Translations::install(KAVO_TRANSLATIONS_BUILD_DIR, {"en"});
    }
};

TEST_P(LanguageChoice, InstallsKavosAndQtsTranslationsOfTheFirstLanguageKavoSpeaks)
{
    const LanguageCase& c = GetParam();
    uninstallAll();
    EXPECT_EQ(Translations::install(KAVO_TRANSLATIONS_BUILD_DIR, c.languages), c.installed);
    EXPECT_EQ(QCoreApplication::translate("ShelfStore", "%Ln items", nullptr, 1), c.one);
    EXPECT_EQ(QCoreApplication::translate("ShelfStore", "%Ln items", nullptr, 2), c.two);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), c.cancel);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LanguageChoice,
    ::testing::Values(
        LanguageCase{"German", {"de-DE"}, "de", "1 Objekt", "2 Objekte", "Abbrechen"},
        LanguageCase{"FrenchBeforeGerman", {"fr-CA", "de-DE"}, "fr", "1 élément", "2 éléments", "Annuler"},
        LanguageCase{"EnglishBeforeGerman", {"en-GB", "de-DE"}, "", "1 item", "2 items", "Cancel"},
        LanguageCase{"OneKavoLacksThenAustrianGerman", {"pt-BR", "de-AT"}, "de", "1 Objekt", "2 Objekte",
                     "Abbrechen"},
        LanguageCase{"OnlyOnesKavoLacks", {"pt-BR", "C"}, "", "1 item", "2 items", "Cancel"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
