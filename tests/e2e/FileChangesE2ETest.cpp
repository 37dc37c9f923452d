// Files that change while a shelf holds them: the program a file was dropped
// from may still be writing it, or replace it, after the drop. The shelf
// tells what the files are now.
#include "Kavo.h"
#include "Program.h"
#include "TestEnvironment.h"

namespace {

struct ChangeCase
{
    const char* name;
    const char* script; // a shell script run with the file as $1
};
void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

class FileChangesE2E : public KavoTest, public ::testing::WithParamInterface<ChangeCase>
{
};

TEST_P(FileChangesE2E, TheShelfTellsTheNewSize)
{
    const QString notes = makeFile("notes.txt", QByteArray(100, 'n'));
    const QString image = makeFile("Image.png", TestEnv::declaredPng(64, 48, QByteArray(200, 'x')));
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt({400, 400}, {notes, image});
    ASSERT_EQ(shelf.paths(), (QStringList{notes, image})) << describe({shelf});
    Shelves now;
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return !s.value(0).detail.isEmpty(); }, &now));
    const QString before = now[0].detail;

    ASSERT_EQ(Program::run("/bin/sh", {"-c", GetParam().script, "sh", image}), 0);
    // What a shelf of the same files opened now says of them.
    const ListedShelf fresh = openShelfAt({800, 400}, {notes, image});
    ASSERT_EQ(fresh.items.size(), 2) << describe({fresh});
    EXPECT_TRUE(m_kavo.waitForShelves(
        [&](const Shelves& s) {
            return s.size() == 2 && !s[1].detail.isEmpty() && s[1].detail != before && s[0].detail == s[1].detail;
        },
        &now, 10000))
        << "was " << before.toStdString() << ", now " << now.value(0).detail.toStdString() << " and "
        << now.value(1).detail.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Changes, FileChangesE2E,
    ::testing::Values(
        // Written on in a thousand small writes, as a download is.
        ChangeCase{"GrownInPlace", "dd if=/dev/zero of=\"$1\" bs=16 count=1000 oflag=append conv=notrunc status=none"},
        // Another file put in its place, as editors and browsers save.
        ChangeCase{"ReplacedByRename",
                   "head -c 16000 /dev/zero > \"$1.part\" && mv -f \"$1.part\" \"$1\""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
