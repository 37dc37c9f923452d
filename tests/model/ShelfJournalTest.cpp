// The journal of open shelves: what is written comes back byte for byte, a
// write cut off at any step leaves the old journal or the new one, and a
// damaged journal is moved aside without a crash or a hang.
#include "model/ShelfJournal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using ShelfJournal::Item;
using ShelfJournal::Shelf;
using ShelfJournal::WriteStep;

namespace {

class ShelfJournalTest : public ::testing::Test
{
protected:
    QString file(const QString& name) const { return m_dir.path() + '/' + name; }
    QByteArray touch(const QByteArray& name) const
    {
        const QByteArray path = QFile::encodeName(m_dir.path()) + '/' + name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
        ::close(fd);
        return path;
    }
    static bool put(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
    QTemporaryDir m_dir;
};

TEST_F(ShelfJournalTest, ShelvesComeBackWithTheirExactPathsFlagsFramesAndModes)
{
    const QByteArray odd = touch("not UTF-8 \xff\xfe, 100% sure\nsecond line");
    const QByteArray plain = touch("report.pdf");
    const QByteArray spaced = touch(" leading space");
    const QList<Shelf> shelves{
        {QRect(-300, 20, 216, 244), false, {{odd, true}, {plain, false}}},
        {QRect(1500, 900, 216, 398), true, {{spaced, false}}},
        {QRect(0, 0, 216, 244), false, {}}, // holds nothing: not journaled
    };
    ASSERT_EQ(ShelfJournal::write(file("shelves.json"), ShelfJournal::encode(shelves)), QString());
    const ShelfJournal::ReadResult back = ShelfJournal::read(file("shelves.json"));
    EXPECT_EQ(back.problem, QString());
    EXPECT_EQ(back.shelves, shelves.mid(0, 2));
    EXPECT_EQ(QFileInfo(file("shelves.json")).permissions() & (QFile::ReadOther | QFile::ReadGroup),
              QFile::Permissions());
}

TEST_F(ShelfJournalTest, ItemsWhoseFilesWentAreLeftOutAndShelvesLeftEmptyToo)
{
    const QByteArray kept = touch("kept");
    const QByteArray gone = touch("gone");
    const QByteArray alsoGone = touch("also gone");
    ASSERT_EQ(ShelfJournal::write(file("j"), ShelfJournal::encode({
                                                 {QRect(10, 10, 216, 244), false, {{gone}, {kept}}},
                                                 {QRect(10, 300, 216, 244), true, {{alsoGone}}},
                                             })),
              QString());
    ::unlink(gone.constData());
    ::unlink(alsoGone.constData());
    const ShelfJournal::ReadResult back = ShelfJournal::read(file("j"));
    EXPECT_EQ(back.shelves, (QList<Shelf>{{QRect(10, 10, 216, 244), false, {{kept}}}}));
    EXPECT_EQ(ShelfJournal::read(file("never written")).shelves, QList<Shelf>());
    EXPECT_EQ(ShelfJournal::read(file("never written")).problem, QString());
}

// A writer killed after each step of its write: the journal then holds the
// shelves before or those after, never anything else, and the next write
// goes through.
TEST_F(ShelfJournalTest, AWriteCutOffAtAnyStepLeavesTheOldJournalOrTheNew)
{
    const QByteArray a = touch("a"), b = touch("b");
    const QList<Shelf> before{{QRect(1, 2, 216, 244), false, {{a}}}};
    QList<Shelf> after{{QRect(5, 6, 216, 398), true, {}}};
    // Big enough to be written in more than one piece.
    for (int i = 0; i < 60000; ++i)
        after[0].items << Item{b, i % 2 == 0};
    const QString journal = file("shelves.json");
    for (const WriteStep cut : {WriteStep::Opened, WriteStep::PartWritten, WriteStep::Written,
                                WriteStep::Synced, WriteStep::Renamed}) {
        SCOPED_TRACE(int(cut));
        ASSERT_EQ(ShelfJournal::write(journal, ShelfJournal::encode(before)), QString());
        const pid_t child = ::fork();
        if (child == 0) {
            ShelfJournal::write(journal, ShelfJournal::encode(after), [cut](WriteStep step) {
                if (step == cut)
                    ::_exit(0);
            });
            ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write never got there";
        const ShelfJournal::ReadResult found = ShelfJournal::read(journal);
        EXPECT_EQ(found.problem, QString());
        EXPECT_EQ(found.shelves, cut == WriteStep::Renamed ? after : before);
        ASSERT_EQ(ShelfJournal::write(journal, ShelfJournal::encode(after)), QString());
        EXPECT_EQ(ShelfJournal::read(journal).shelves, after);
    }
}

TEST_F(ShelfJournalTest, AWriteThatFailsLeavesTheOldJournalAndNoTemporaryFile)
{
    ASSERT_EQ(::getuid(), 0u) << "a full disk needs a tmpfs mount, so root";
    const QString folder = file("small");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder}), 0);
    const QByteArray a = touch("a");
    const QList<Shelf> before{{QRect(1, 2, 216, 244), false, {{a}}}};
    QList<Shelf> huge{{QRect(1, 2, 216, 244), false, {}}};
    for (int i = 0; i < 5000; ++i)
        huge[0].items << Item{a};
    const QString journal = folder + "/shelves.json";
    EXPECT_EQ(ShelfJournal::write(journal, ShelfJournal::encode(before)), QString());
    EXPECT_EQ(ShelfJournal::write(journal, ShelfJournal::encode(huge)),
              QString::fromLocal8Bit(std::strerror(ENOSPC)));
    EXPECT_EQ(ShelfJournal::read(journal).shelves, before);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"shelves.json"});
    QProcess::execute("umount", {folder});
}

// Damaged journals of every kind: no shelves, the reason, the file moved
// aside as .bad, and no hang (a FIFO, a sparse giant).
TEST_F(ShelfJournalTest, ADamagedJournalIsMovedAsideAndGivesNoShelves)
{
    const QByteArray good = ShelfJournal::encode({{QRect(1, 2, 216, 244), false, {{touch("a")}}}});
    const auto shelf = [](const QByteArray& fields) -> QByteArray {
        return R"({"version":1,"shelves":[{)" + fields + "}]}";
    };
    const QByteArray frame = R"("frame":[1,2,216,244],"mode":"stack",)";
    QByteArray manyItems = R"({"version":1,"shelves":[{"frame":[1,2,216,244],"mode":"stack","items":[)";
    for (qsizetype i = 0; i <= ShelfJournal::maxItems; ++i)
        manyItems += i ? R"(,{"path":"/"})" : R"({"path":"/"})";
    manyItems += "]}]}";
    const struct
    {
        const char* name;
        std::function<bool(const QString&)> make;
    } cases[] = {
        {"cut short", [&](const QString& p) { return put(p, good.left(good.size() / 2)); }},
        {"not JSON", [&](const QString& p) { return put(p, "shelves: yes"); }},
        {"another version", [&](const QString& p) { return put(p, R"({"version":2,"shelves":[]})"); }},
        {"shelves not a list", [&](const QString& p) { return put(p, R"({"version":1,"shelves":{}})"); }},
        {"a frame of three", [&](const QString& p) {
             return put(p, shelf(R"("frame":[1,2,3],"mode":"stack","items":[{"path":"/a"}])"));
         }},
        {"a frame of no width", [&](const QString& p) {
             return put(p, shelf(R"("frame":[1,2,0,244],"mode":"stack","items":[{"path":"/a"}])"));
         }},
        {"an unknown mode", [&](const QString& p) {
             return put(p, shelf(R"("frame":[1,2,216,244],"mode":"grid","items":[{"path":"/a"}])"));
         }},
        {"a relative path", [&](const QString& p) { return put(p, shelf(frame + R"("items":[{"path":"a/b"}])")); }},
        {"a path with a NUL byte", [&](const QString& p) { return put(p, shelf(frame + R"("items":[{"path":"/a%00b"}])")); }},
        {"a path not encoded", [&](const QString& p) { return put(p, shelf(frame + "\"items\":[{\"path\":\"/\xc3\xa9\"}]")); }},
        {"a flag that is not one", [&](const QString& p) {
             return put(p, shelf(frame + R"("items":[{"path":"/a","temporary":"yes"}])"));
         }},
        {"too many items", [&](const QString& p) { return put(p, manyItems); }},
        {"a sparse giant", [&](const QString& p) {
             const int fd = ::open(QFile::encodeName(p).constData(), O_WRONLY | O_CREAT, 0600);
             const bool ok = fd >= 0 && ::ftruncate(fd, 4LL << 30) == 0;
             ::close(fd);
             return ok;
         }},
        {"a FIFO", [&](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString journal = file(QString("%1.json").arg(&c - cases));
        ASSERT_TRUE(c.make(journal));
        const ShelfJournal::ReadResult found = ShelfJournal::read(journal);
        EXPECT_EQ(found.shelves, QList<Shelf>());
        EXPECT_NE(found.problem, QString());
        EXPECT_FALSE(QFileInfo::exists(journal));
        EXPECT_TRUE(QFileInfo(journal + ".bad").exists() || QFileInfo(journal + ".bad").isSymLink());
    }
}

} // namespace
