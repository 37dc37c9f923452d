#include "platform/Alerts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include <functional>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

TEST(AlertsTest, ShowsTextsAsPlainTextWithTheGivenButtons)
{
    const QString notes = QStringLiteral("<b>bold</b> <a href=\"file:///etc\">link</a>");
    QList<QPushButton*> added;
    const auto box =
        Alerts::makeBox("Kavo 2 is available", notes, {"Download", "Later"}, &added);
    EXPECT_EQ(box->text(), "Kavo 2 is available");
    EXPECT_EQ(box->informativeText(), notes);
    ASSERT_EQ(added.size(), 2);
    EXPECT_EQ(added[0]->text(), "Download");
    EXPECT_EQ(added[1]->text(), "Later");
    EXPECT_EQ(box->defaultButton(), added[0]);
    EXPECT_FALSE(added.contains(box->escapeButton())) << "dismissing chooses no button";
    int labels = 0;
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text() == notes || label->text() == box->text()) {
            ++labels;
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        }
    }
    EXPECT_EQ(labels, 2);

    const auto plain = Alerts::makeBox("Title", "Text", {});
    EXPECT_TRUE(plain->buttons().isEmpty()) << "the box adds its own OK button";
}

TEST(AlertsTest, DismissingAnAlertChoosesNoneOfItsButtons)
{
    const QList<std::function<void(QWidget*)>> dismissals{
        [](QWidget* box) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &escape);
        },
        [](QWidget* box) { box->close(); }};
    for (const auto& dismiss : dismissals) {
        QTimer::singleShot(50, [dismiss] {
            if (QWidget* box = QApplication::activeModalWidget())
                dismiss(box);
        });
        EXPECT_EQ(Alerts::show("Kavo is in your system tray", "Text", {"Got It", "Support"}), -1);
    }
}

} // namespace
