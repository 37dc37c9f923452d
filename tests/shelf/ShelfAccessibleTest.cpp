// The names a screen reader hears for a shelf's pile: enough file names to
// recognise it by, never hundreds of them.
#include "shelf/ShelfAccessible.h"

#include <gtest/gtest.h>

#include <QUrl>

namespace {

QList<ShelfItemPtr> itemsNamed(const QStringList& names)
{
    QList<ShelfItemPtr> items;
    for (const QString& name : names)
        items << std::make_shared<ShelfItem>(QUrl::fromLocalFile("/files/" + name), false);
    return items;
}

TEST(ShelfAccessibleTest, ThePileIsNamedForItsFirstFewFiles)
{
    const QString longName = QString(70, u'x') + ".txt";
    const struct
    {
        QStringList files;
        QString name;
    } cases[] = {
        {{"a.txt", "b.png", "c.pdf"}, "3 items: a.txt, b.png, c.pdf"},
        {{"a.txt", "b.png", "c.pdf", "d", "e"}, "5 items: a.txt, b.png, c.pdf, \u2026"},
        {{longName, "b"}, "2 items: " + QString(59, u'x') + u'\u2026' + ", b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShelfAccessible::pileName(itemsNamed(c.files)), c.name) << c.files.join(", ").toStdString();
}

} // namespace
