#pragma once

#include "XConnection.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

// One shelf as `kavo --list` reports it.
struct ListedShelf
{
    struct Item
    {
        QString path;
        QByteArray uri; // the exact bytes of the path, percent-encoded
        bool temporary = false;
    };
    QRect frame;
    bool visible = false;
    QString mode;
    QList<Item> items;
    QString title, detail; // the footer's lines

    QStringList paths() const
    {
        QStringList out;
        for (const Item& item : items)
            out << item.path;
        return out;
    }
};
using Shelves = QList<ListedShelf>;
std::string describe(const Shelves& shelves);

// The real `kavo` program in a home of its own: private HOME and XDG folders
// (so its single-instance socket and its drop folders are private too), on
// the xcb platform of the test display. It is killed when the object goes.
class Kavo
{
public:
    explicit Kavo(const QString& program = KAVO_BINARY);
    ~Kavo() { stop(); }
    QString root() const { return m_root.path(); }
    QString configFile() const { return root() + "/config/Kavo/Kavo.conf"; }
    QString cacheHome() const { return root() + "/cache"; }
    QString runtimeDir() const { return root() + "/runtime"; }
    QString droppedRoot() const { return cacheHome() + "/io.github.kavo.Kavo/Dropped"; }
    // Before start: a preference; a variable of its environment (empty: none).
    void setPreference(const QString& key, const QVariant& value)
    {
        QSettings(configFile(), QSettings::IniFormat).setValue(key, value);
    }
    void setEnvironment(const QString& name, const QString& value)
    {
        value.isEmpty() ? m_env.remove(name) : m_env.insert(name, value);
        m_program.setProcessEnvironment(m_env);
    }
    // The folder the program and the commands of run() start in.
    void setWorkingDirectory(const QString& dir) { m_program.setWorkingDirectory(dir); }
    // Starts the program (`kavo ARGUMENTS`) and waits until `kavo --list` answers.
    bool start(const QStringList& arguments = {});
    bool isRunning() const { return m_program.state() == QProcess::Running; }
    bool wasStarted() const { return m_started; }
    qint64 processId() const { return m_program.processId(); }
    void stop() { m_started = false, m_program.kill(), m_program.waitForFinished(5000); }
    // Its exit status once it ends by itself; nothing if it does not or crashes.
    std::optional<int> waitForExit(int timeoutMs = 15000);
    std::string errors() { return (m_errors += m_program.readAllStandardError()).toStdString(); }

    struct Result
    {
        int exitCode = -1; // -1: did not start, did not end in time, or crashed
        QString out, err;
    };
    // Runs `kavo ARGUMENTS` to its end in this home; "--shell SCRIPT ARGS…" runs
    // a script with $KAVO naming the program (for arguments that are bytes).
    Result run(const QStringList& arguments, int timeoutMs = 15000) const;
    // The shelves `kavo --list` reports; nothing when it fails or prints other JSON.
    std::optional<Shelves> list() const;
    // Polls `kavo --list` until `done` accepts the shelves (`last` gets them).
    bool waitForShelves(const std::function<bool(const Shelves&)>& done, Shelves* last = nullptr,
                        int timeoutMs = 10000) const;
    // Exactly `count` shelves (none on time-out).
    Shelves waitForShelfCount(qsizetype count) const;

private:
    QTemporaryDir m_root;
    bool m_started = false;
    QProcessEnvironment m_env;
    QProcess m_program;
    QByteArray m_errors;
};

// The fixture of the whole-program tests: the program in a private home that has
// launched before (no welcome), the display, a clean pointer before and after.
class KavoTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    ::testing::AssertionResult startKavo();
    // A file with this content in the session's own folder.
    QString makeFile(const QString& name, const QByteArray& content);
    // A shelf holding `files`, opened by a second `kavo` with the pointer at
    // `p`; listed once it is at placed(p), unless `atPlaced` is false.
    ListedShelf openShelfAt(QPoint p, const QStringList& files = {}, bool atPlaced = true);
    // Where a shelf opened at `p` belongs: centred on the point (or with its
    // top edge there), clamped into the screen less an 8-pixel margin.
    static QRect placed(QPointF p, bool anchorTop = false);
    // The middle of a shelf's stack area: where a drag of its pile starts.
    static QPoint stackCentre(const QRect& frame);
    // `kavo --list` answers before the deadline (a frozen program never does).
    bool answers() const { return m_kavo.run({"--list"}, 10000).exitCode == 0; }
    // The command socket of the program on this display.
    QString socket() const
    {
        return m_kavo.runtimeDir() + "/io.github.kavo.Kavo-" + qEnvironmentVariable("DISPLAY").replace(u':', u'_') +
               ".socket";
    }
    bool shelvesClose() const { return m_kavo.waitForShelves([](const Shelves& s) { return s.isEmpty(); }); }

    Kavo m_kavo;
    XConnection m_display;
};
