// The user's language: a German or French session (only $LANG set, as a
// desktop sets it; no generated C library locale is needed, Qt reads the
// variables itself) gets Kavo's tray menu, its shelves' texts with the
// locale's number formats, and its command line in that language. A user
// who lists English first keeps English.
#include "DBusTray.h"
#include "Kavo.h"
#include "TestEnvironment.h"

namespace {

struct LanguageCase
{
    const char* name;
    const char* lang;     // $LANG
    const char* language; // $LANGUAGE, "" for none
    const char* usage;    // how --help begins
    const char* badOption; // what `kavo --bogus` says
    QStringList menu;     // tray menu entries, in their order
    const char* title;    // a shelf of a file of 1500 bytes and a folder, as its footer says
    const char* detail;
};

void PrintTo(const LanguageCase& c, std::ostream* os) { *os << c.name; }

const LanguageCase german{"German", "de_DE.UTF-8", "", "Aufruf: kavo [BEFEHL]\n", "unbekannte Option: --bogus",
                          {"Neue Ablage", "Tastenkürzel\u2026", "Kavo beenden"}, "2 Objekte",
                          "1,5 kB \u00B7 1 Ordner"};
const LanguageCase french{"French", "fr_FR.UTF-8", "", "Utilisation\u00a0: kavo [COMMANDE]\n",
                          "option inconnue\u00a0: --bogus", {"Nouvelle étagère", "Raccourci clavier\u2026", "Quitter Kavo"},
                          "2 éléments", "1,5 ko \u00B7 1 dossier"};
const LanguageCase englishFirst{"EnglishBeforeGerman", "de_DE.UTF-8", "en:de", "Usage: kavo [COMMAND]\n",
                                "unknown option: --bogus", {"New Shelf", "Keyboard Shortcut\u2026", "Quit Kavo"},
                                "2 items", "1,5 kB \u00B7 1 folder"};

class LanguageE2E : public KavoTest, public ::testing::WithParamInterface<LanguageCase>
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        const LanguageCase& c = GetParam();
        m_kavo.setEnvironment("LANG", c.lang);
        m_kavo.setEnvironment("LANGUAGE", c.language);
        m_kavo.setEnvironment("LC_ALL", "");
        m_kavo.setEnvironment("LC_MESSAGES", "");
    }
};

TEST_P(LanguageE2E, TheCommandLineSpeaksTheLanguage)
{
    const LanguageCase& c = GetParam();
    const Kavo::Result help = m_kavo.run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(c.usage)) << help.out.toStdString();
    const Kavo::Result bad = m_kavo.run({"--bogus"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(c.badOption)) << bad.err.toStdString();
}

TEST_P(LanguageE2E, TheTrayMenuReadOverDBusAndTheShelvesSpeakTheLanguage)
{
    const LanguageCase& c = GetParam();
    StatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.start()) << "another watcher owns the name";
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !watcher.items.isEmpty(); }, 10000)) << "Kavo registered no tray item";
    const TrayMenu menu(watcher.items.first());
    QStringList shown;
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !(shown = menu.texts()).isEmpty(); }));
    qsizetype at = -1;
    for (const QString& entry : c.menu) {
        const qsizetype found = shown.indexOf(entry);
        EXPECT_GT(found, at) << entry.toStdString() << " not in order in " << shown.join(" | ").toStdString();
        at = std::max(at, found);
    }

    const QString file = makeFile("report.bin", QByteArray(1500, 'x'));
    const QString folder = m_kavo.root() + "/files/Photos";
    ASSERT_TRUE(QDir().mkpath(folder));
    const Kavo::Result r = m_kavo.run({"--new-shelf", file, folder});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    Shelves shelves;
    EXPECT_TRUE(m_kavo.waitForShelves(
        [&](const Shelves& s) { return s.size() == 1 && s[0].title == c.title && s[0].detail == c.detail; },
        &shelves))
        << shelves.value(0).title.toStdString() << " / " << shelves.value(0).detail.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageE2E, ::testing::Values(german, french, englishFirst),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
