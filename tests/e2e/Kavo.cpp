#include "Kavo.h"

#include "Input.h"
#include "TestEnvironment.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>

std::string describe(const Shelves& shelves)
{
    std::string out = shelves.isEmpty() ? "no shelves" : "";
    for (const ListedShelf& s : shelves) {
        const QRect f = s.frame;
        out += QStringLiteral("[%1,%2 %3x%4 %5: %6] ").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height())
                   .arg(s.mode, s.paths().join(", ")).toStdString();
    }
    return out;
}

Kavo::Kavo(const QString& program) : m_root(QDir::tempPath() + "/kavo-e2e-XXXXXX")
{
    m_env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, sub] : {std::pair{"HOME", "home"}, {"XDG_CONFIG_HOME", "config"}, {"XDG_CACHE_HOME", "cache"},
                                    {"XDG_DATA_HOME", "data"}, {"XDG_STATE_HOME", "state"}, {"XDG_RUNTIME_DIR", "runtime"}}) {
        QDir(root()).mkpath(sub);
        m_env.insert(name, root() + u'/' + sub);
    }
    // The runtime folder must be private to the user, as the XDG rules say.
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_env.insert("QT_QPA_PLATFORM", "xcb");
    // The texts the tests expect are the English ones, whatever the language
    // of the session that runs them.
    m_env.insert("LANGUAGE", "en");
    m_program.setProcessEnvironment(m_env);
    m_program.setProgram(program);
}

bool Kavo::start(const QStringList& arguments)
{
    m_program.setArguments(arguments);
    m_program.start();
    m_started = m_program.waitForStarted(10000);
    // A program that ended will never answer.
    return m_started && TestEnv::waitUntil([&] { return !isRunning() || list(); }, 20000) && isRunning();
}

std::optional<int> Kavo::waitForExit(int timeoutMs)
{
    if (!TestEnv::waitUntil([&] { return !isRunning(); }, timeoutMs) || m_program.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return m_program.exitCode();
}

Kavo::Result Kavo::run(const QStringList& arguments, int timeoutMs) const
{
    QProcess process;
    QProcessEnvironment env = m_env;
    env.insert("KAVO", m_program.program());
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_program.workingDirectory());
    if (arguments.value(0) == u"--shell")
        process.start("/bin/sh", QStringList{"-c", arguments.value(1), "sh"} + arguments.mid(2));
    else
        process.start(m_program.program(), arguments);
    Result result;
    if (!TestEnv::waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    if (process.error() != QProcess::FailedToStart && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

std::optional<Shelves> Kavo::list() const
{
    const Result r = run({"--list"});
    const QJsonValue all = QJsonDocument::fromJson(r.out.toUtf8()).object().value("shelves");
    if (r.exitCode != 0 || !all.isArray())
        return std::nullopt;
    Shelves shelves;
    for (const QJsonValue& s : all.toArray()) {
        const QJsonArray f = s["frame"].toArray();
        if (f.size() != 4 || !s["items"].isArray() || !s["visible"].isBool())
            return std::nullopt;
        shelves << ListedShelf{QRect(f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3].toInt()), s["visible"].toBool(),
                               s["mode"].toString(), {}, s["title"].toString(), s["detail"].toString()};
        for (const QJsonValue& i : s["items"].toArray()) {
            if (!i["path"].isString() || !i["temporary"].isBool())
                return std::nullopt;
            shelves.last().items << ListedShelf::Item{i["path"].toString(), i["uri"].toString().toUtf8(),
                                                      i["temporary"].toBool()};
        }
    }
    return shelves;
}

bool Kavo::waitForShelves(const std::function<bool(const Shelves&)>& done, Shelves* last, int timeoutMs) const
{
    return TestEnv::waitUntil(
        [&] {
            const auto shelves = list();
            if (shelves && last)
                *last = *shelves;
            return shelves && done(*shelves);
        },
        timeoutMs);
}

Shelves Kavo::waitForShelfCount(qsizetype count) const
{
    Shelves shelves;
    const bool done = waitForShelves([count](const Shelves& s) { return s.size() == count; }, &shelves);
    return done ? shelves : Shelves{};
}

void KavoTest::SetUp()
{
    Input::reset();
    m_kavo.setPreference("hasLaunchedBefore", true);
}

void KavoTest::TearDown()
{
    Input::reset();
    // Whatever the test did, the program must still be there.
    EXPECT_TRUE(!m_kavo.wasStarted() || m_kavo.isRunning()) << "kavo ended: " << m_kavo.errors();
}

::testing::AssertionResult KavoTest::startKavo()
{
    if (m_kavo.start())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "kavo did not answer --list: " << m_kavo.errors();
}

QString KavoTest::makeFile(const QString& name, const QByteArray& content)
{
    const QString path = m_kavo.root() + "/files/" + name;
    EXPECT_TRUE(TestEnv::writeFile(path, content));
    return path;
}

ListedShelf KavoTest::openShelfAt(QPoint p, const QStringList& files, bool atPlaced)
{
    const qsizetype before = m_kavo.list().value_or(Shelves{}).size();
    EXPECT_TRUE(Input::run(Input::moveTo(p)));
    const Kavo::Result r = m_kavo.run(QStringList{"--new-shelf"} + files);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    Shelves shelves = m_kavo.waitForShelfCount(before + 1);
    // A window manager puts its frame in place only after it has taken the
    // window in: until then the shelf's place is the frame's corner. The
    // place the shelf was opened at is waited for; any other is returned
    // after the time-out, for the test to see.
    if (!atPlaced)
        return shelves.value(before);
    const QRect expected = placed(p);
    m_kavo.waitForShelves([&](const Shelves& s) { return s.size() > before && s[before].frame == expected; },
                          &shelves);
    return shelves.value(before);
}

QRect KavoTest::placed(QPointF p, bool anchorTop)
{
    constexpr int width = 216, height = 244, margin = 8;
    const QRectF v = QRectF(QGuiApplication::primaryScreen()->availableGeometry()).adjusted(margin, margin, -margin, -margin);
    const qreal x = std::clamp(p.x() - width / 2.0, v.left(), v.left() + v.width() - width);
    const qreal y = std::max(std::min(anchorTop ? p.y() : p.y() - height / 2.0, v.top() + v.height() - height), v.top());
    return QRect(qRound(x), qRound(y), width, height);
}

QPoint KavoTest::stackCentre(const QRect& frame)
{
    constexpr int header = 36, footer = 50;
    return QPoint(frame.x() + frame.width() / 2, frame.y() + header + (frame.height() - header - footer) / 2);
}
