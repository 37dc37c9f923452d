// The X11 clipboard reader against owners that answer oddly or not at all:
// what it lists, what it reads, and how a read that cannot finish ends.
#include "drops/ClipboardContent.h"
#include "platform/ClipboardReader.h"

#include "Program.h"
#include "XConnection.h"

#include <gtest/gtest.h>

namespace {

// Starts the stand-in owner in `mode`; answers once it owns the clipboard.
bool own(Program& owner, const char* mode)
{
    const XConnection display;
    const xcb_window_t before = display.selectionOwner("CLIPBOARD");
    return owner.start(KAVO_CLIPBOARD_OWNER, {mode}) && TestEnv::waitUntil([&] {
               const xcb_window_t now = display.selectionOwner("CLIPBOARD");
               return now != XCB_NONE && now != before;
           });
}

// Reads as a paste does and waits for the end.
std::optional<ClipboardReader::Result> readNow()
{
    std::optional<ClipboardReader::Result> got;
    ClipboardReader::shared()->read(ClipboardContent::formatsToRead, nullptr,
                                    [&](const ClipboardReader::Result& r) { got = r; });
    TestEnv::waitUntil([&] { return got.has_value(); }, 30000);
    return got;
}

TEST(ClipboardReaderTest, TextComesAsQtReadsItLatin1BecomingUtf8)
{
    Program owner;
    ASSERT_TRUE(own(owner, "latin1"));
    EXPECT_TRUE(TestEnv::waitUntil([] { return ClipboardReader::shared()->formats() == QStringList{"text/plain"}; }))
        << ClipboardReader::shared()->formats().join(u',').toStdString();
    const auto read = readNow();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->failure, ClipboardReader::Failure::None);
    ASSERT_EQ(read->data.size(), 1);
    EXPECT_EQ(read->data[0].first, "text/plain");
    EXPECT_EQ(read->data[0].second, "caf\xC3\xA9");
}

TEST(ClipboardReaderTest, AnOwnerThatNeverAnswersListsNothingAndStallsTheReadAlone)
{
    Program owner;
    ASSERT_TRUE(own(owner, "silent"));
    EXPECT_FALSE(TestEnv::waitUntil([] { return !ClipboardReader::shared()->formats().isEmpty(); },
                                    ClipboardReader::stallMs + 500));
    // The read waits on a thread of its own: it has not ended when read() returns.
    std::optional<ClipboardReader::Result> got;
    ClipboardReader::shared()->read(ClipboardContent::formatsToRead, nullptr,
                                    [&](const ClipboardReader::Result& r) { got = r; });
    EXPECT_FALSE(got) << "answered before the owner could";
    ASSERT_TRUE(TestEnv::waitUntil([&] { return got.has_value(); }, 30000));
    EXPECT_EQ(got->failure, ClipboardReader::Failure::Stalled);
    EXPECT_TRUE(got->data.isEmpty());
}

TEST(ClipboardReaderTest, AnOwnerThatSendsWithoutEndIsCutOffAtTheLimit)
{
    Program owner;
    ASSERT_TRUE(own(owner, "endless"));
    const auto read = readNow();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->failure, ClipboardReader::Failure::TooLarge);
    EXPECT_TRUE(read->data.isEmpty());
}

TEST(ClipboardReaderTest, AClipboardWithNoOwnerIsEmpty)
{
    {
        Program owner;
        ASSERT_TRUE(own(owner, "latin1"));
    }
    ASSERT_TRUE(TestEnv::waitUntil([] { return XConnection().selectionOwner("CLIPBOARD") == XCB_NONE; }));
    EXPECT_TRUE(TestEnv::waitUntil([] { return ClipboardReader::shared()->formats().isEmpty(); }));
    const auto read = readNow();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->failure, ClipboardReader::Failure::Empty);
}

} // namespace
