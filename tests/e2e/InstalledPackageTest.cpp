// The Debian package as a user gets it, unpacked into a scratch root (nothing
// on the system changes): what it declares, where its files go, whether the
// desktop's own validators accept its desktop entry and AppStream data, and
// whether the program it installs starts on the system's libraries.
#include "Kavo.h"

#include <QDirIterator>
#include <QRegularExpression>

namespace {

const QString appId = KAVO_APP_ID, version = KAVO_VERSION;

// Runs a program to its end; its exit code and output.
std::pair<int, QString> runTool(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    const bool ended = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit;
    return {ended ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

class InstalledPackage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto [status, out] = runTool("dpkg-deb", {"-x", KAVO_PACKAGE_FILE, m_root.path()});
        ASSERT_EQ(status, 0) << out.toStdString();
    }
    QString installed(const QString& relative) const { return m_root.path() + "/usr/" + relative; }

    QTemporaryDir m_root;
};

TEST_F(InstalledPackage, DeclaresItselfAndTheLibrariesItNeeds)
{
    const auto [status, fields] = runTool("dpkg-deb", {"--field", KAVO_PACKAGE_FILE, "Package", "Version", "Depends"});
    EXPECT_TRUE(fields.startsWith("Package: kavo\nVersion: " + version + u'\n')) << fields.toStdString();
    for (const char* library : {"libqt6widgets6", "libqt6svg6", "libqt6dbus6", "libxcb1"})
        EXPECT_TRUE(fields.contains(library)) << library << " missing from " << fields.toStdString();
}

TEST_F(InstalledPackage, PutsEveryFileWhereTheDesktopLooks)
{
    const QString icons = "share/icons/hicolor/";
    QStringList expected{"bin/kavo", KAVO_INSTALL_LIBDIR "/kavo/libkavo_program.so", "share/applications/" + appId + ".desktop",
                         "share/metainfo/" + appId + ".metainfo.xml", icons + "scalable/apps/" + appId + ".svg",
                         icons + "symbolic/apps/" + appId + "-symbolic.svg",
                         icons + "symbolic/apps/" + appId + "-update-symbolic.svg", "share/man/man1/kavo.1.gz",
                         "share/doc/kavo/copyright"};
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512})
        expected << icons + QStringLiteral("%1x%1/apps/").arg(size) + appId + ".png";
    for (const char* language : {"de", "en", "fr"})
        expected << QStringLiteral("share/kavo/translations/kavo_%1.qm").arg(language);
    QStringList files;
    for (QDirIterator it(m_root.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next().mid(m_root.path().size() + 5); // nothing outside /usr
    expected.sort();
    files.sort();
    EXPECT_EQ(files, expected);
    EXPECT_TRUE(QFileInfo(installed("bin/kavo")).isExecutable());
}

TEST_F(InstalledPackage, ItsDesktopEntryAndAppStreamDataPassTheirValidatorsAndNameTheProgram)
{
    const QString entry = installed("share/applications/" + appId + ".desktop");
    const QString metainfo = installed("share/metainfo/" + appId + ".metainfo.xml");
    for (const auto& [status, out] : {runTool("desktop-file-validate", {entry}),
                                      runTool("appstreamcli", {"validate", "--no-net", metainfo})})
        EXPECT_EQ(status, 0) << out.toStdString();
    const QString desktop = runTool("cat", {entry}).second, meta = runTool("cat", {metainfo}).second;
    EXPECT_TRUE(desktop.contains(QRegularExpression("\nExec=.*\\bkavo\nTryExec=kavo\n")));
    EXPECT_TRUE(desktop.contains("\nIcon=" + appId + u'\n'));
    EXPECT_TRUE(meta.contains("<release version=\"" + version + '"')) << "this release";
}

TEST_F(InstalledPackage, TheInstalledProgramStartsAndAnswers)
{
    EXPECT_EQ(runTool(installed("bin/kavo"), {"--version"}).second, "kavo " + version + u'\n');
    Kavo kavo(installed("bin/kavo"));
    kavo.setPreference("hasLaunchedBefore", true);
    ASSERT_TRUE(kavo.start()) << kavo.errors();
    EXPECT_EQ(kavo.list().value_or(Shelves(1)).size(), 0);
}

TEST_F(InstalledPackage, ACommandWithoutItsProgramSaysSoAndStartsNothing)
{
    ASSERT_TRUE(QFile::remove(installed(KAVO_INSTALL_LIBDIR "/kavo/libkavo_program.so")));
    EXPECT_EQ(runTool(installed("bin/kavo"), {"--version"}).second, "kavo " + version + u'\n');
    const auto [status, out] = runTool(installed("bin/kavo"), {});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(out.startsWith("kavo: cannot load the program: ")) << out.toStdString();
}

TEST_F(InstalledPackage, TheInstalledProgramSpeaksTheUsersLanguage)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "de_DE.UTF-8");
    env.remove("LANGUAGE");
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    p.setProcessEnvironment(env);
    p.start(installed("bin/kavo"), {"--help"});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith("Aufruf: kavo")) << out.toStdString();
}

} // namespace
