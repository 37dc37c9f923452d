// The shelf and the clipboard: "Paste" in its menu only when there is
// something to paste (alone on an empty shelf), Ctrl+V adding it, Ctrl+C
// copying the selected row or every file.
#include "Shelf.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace {

QStringList entries(QMenu* menu)
{
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("---") : a->text());
    return texts;
}

void press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent e(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &e);
}

struct MenuCase
{
    const char* name;
    int items;
    bool somethingToPaste;
    bool menu;
    bool paste; // "Paste" in it, right after "Copy" when there is one
};
void PrintTo(const MenuCase& c, std::ostream* os) { *os << c.name; }

class ShelfPasteMenuTest : public ShelfTest, public ::testing::WithParamInterface<MenuCase>
{
};

TEST_P(ShelfPasteMenuTest, PasteIsOfferedWhenTheClipboardHoldsSomethingToTake)
{
    const MenuCase& c = GetParam();
    auto* mime = new QMimeData;
    if (c.somethingToPaste)
        mime->setText(QStringLiteral("some text"));
    else
        mime->setHtml(QStringLiteral("<b>markup only</b>"));
    QGuiApplication::clipboard()->setMimeData(mime);
    if (c.items)
        hold(c.items);
    std::unique_ptr<QMenu> menu(view.makeMenu());
    ASSERT_EQ(menu != nullptr, c.menu);
    if (!menu)
        return;
    const QStringList texts = entries(menu.get());
    EXPECT_EQ(texts.contains(QStringLiteral("Paste")), c.paste) << texts.join(u',').toStdString();
    if (c.items == 0) {
        EXPECT_EQ(texts, QStringList{QStringLiteral("Paste")});
    } else if (c.paste) {
        EXPECT_EQ(texts.indexOf(QStringLiteral("Paste")), texts.indexOf(QStringLiteral("Copy")) + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Menus, ShelfPasteMenuTest,
                         ::testing::Values(MenuCase{"empty, nothing to paste", 0, false, false, false},
                                           MenuCase{"empty, text to paste", 0, true, true, true},
                                           MenuCase{"holding, nothing to paste", 2, false, true, false},
                                           MenuCase{"holding, text to paste", 2, true, true, true}));

TEST_F(ShelfTest, CtrlVAddsTheCopiedFiles)
{
    const QList<QUrl> copied = files.make(2);
    auto* mime = new QMimeData;
    mime->setUrls(copied);
    QGuiApplication::clipboard()->setMimeData(mime);
    press(&view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return store->items.size() == 2; }));
    EXPECT_EQ(store->items[0]->url(), copied[0]);
    EXPECT_FALSE(store->items[1]->isTemporary());
}

TEST_F(ShelfTest, CtrlCCopiesTheSelectedRowOrElseEveryFile)
{
    const auto copiedUrls = [] {
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        return mime ? mime->urls() : QList<QUrl>();
    };
    auto* before = new QMimeData;
    before->setText(QStringLiteral("kept"));
    QGuiApplication::clipboard()->setMimeData(before);
    press(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept")) << "an empty shelf copies nothing";

    hold(3);
    press(&view, Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(copiedUrls().size(), 3);

    view.toggleList();
    view.selectIndex(1);
    ASSERT_EQ(view.selectedItem(), store->items[1]);
    press(&view, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(copiedUrls(), QList<QUrl>{store->items[1]->url()});
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("x-special/gnome-copied-files"),
              "copy\n" + store->items[1]->url().toEncoded());
}

} // namespace
