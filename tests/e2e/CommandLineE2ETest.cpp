// File names that look like options: `kavo --new-shelf *` in a folder of
// such names puts exactly those files on a shelf, whether it starts Kavo or
// hands them to the running one, and Qt never reads them as its own options
// (one of them would load a plugin from a folder named like an option).
#include "Kavo.h"
#include "TestEnvironment.h"

#include <QDir>

namespace {

class CommandLineE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        m_folder = m_kavo.root() + "/hostile";
        ASSERT_TRUE(QDir().mkpath(m_folder + "/-pw"));
        // What Qt would load given "-platformpluginpath -pw".
        ASSERT_TRUE(QFile::copy(KAVO_MARKER_PLUGIN, m_folder + "/-pw/libmarker.so"));
        for (const char* name : {"-platformpluginpath", "-stylesheet", "-display", "-name", "-session", "-", "--",
                                 "-reverse", "--list"})
            ASSERT_TRUE(TestEnv::writeFile(m_folder + '/' + name, "x"));
        m_kavo.setWorkingDirectory(m_folder);
        m_kavo.setEnvironment("KAVO_TEST_PLUGIN_MARK", mark());
        m_kavo.setEnvironment("QT_QPA_PLATFORMTHEME", "kavomarker");
    }
    QString mark() const { return m_kavo.root() + "/plugin-was-loaded"; }
    QStringList paths(const QStringList& names) const
    {
        QStringList out;
        for (const QString& name : names)
            out << m_folder + '/' + name;
        return out;
    }

    QString m_folder;
};

TEST_F(CommandLineE2E, NamesLikeOptionsAreFilesWhetherKavoStartsOrRuns)
{
    // The arguments after --new-shelf, and the files they name.
    const struct { QStringList args, files; } cases[] = {
        {{"-platformpluginpath", "-pw", "-stylesheet", "-display", "-name", "-session", "-"},
         {"-platformpluginpath", "-pw", "-stylesheet", "-display", "-name", "-session", "-"}},
        {{"--", "--", "-reverse", "--list", "-display"}, {"--", "-reverse", "--list", "-display"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const QStringList wanted = paths(c.files);
        auto holdsExactly = [&](const Shelves& s) { return s.size() == 1 && s[0].paths() == wanted; };
        // Kavo not running: this command starts it.
        ASSERT_TRUE(m_kavo.start(QStringList{"--new-shelf"} + c.args)) << m_kavo.errors();
        Shelves shelves;
        EXPECT_TRUE(m_kavo.waitForShelves(holdsExactly, &shelves)) << describe(shelves);
        m_kavo.stop();
        // Kavo running: another process hands the names over.
        ASSERT_TRUE(m_kavo.start()) << m_kavo.errors();
        const Kavo::Result r = m_kavo.run(QStringList{"--new-shelf"} + c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(m_kavo.waitForShelves(holdsExactly, &shelves)) << describe(shelves);
        m_kavo.stop();
    }
    EXPECT_FALSE(QFile::exists(mark())) << "Kavo loaded a plugin from a folder named like an option";
}

TEST_F(CommandLineE2E, APluginFolderGivenAsAQtOptionIsLoadedAsQtWould)
{
    // The same plugin reached the ordinary way, as Qt's option before any
    // command, is loaded: the test above would notice it being loaded.
    m_kavo.start({"-platformpluginpath", m_folder + "/-pw"});
    EXPECT_TRUE(TestEnv::waitUntil([&] { return QFile::exists(mark()); }, 10000));
    m_kavo.stop();
}

} // namespace
