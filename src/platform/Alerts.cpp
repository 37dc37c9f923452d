#include "platform/Alerts.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace Alerts {

std::unique_ptr<QMessageBox> makeBox(const QString& title, const QString& text,
                                     const QStringList& buttons, QList<QPushButton*>* added)
{
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(QGuiApplication::applicationDisplayName());
    // Texts may come from the network (release notes): shown as they stand,
    // never as markup, which could hold links or pictures.
    box->setTextFormat(Qt::PlainText);
    box->setText(title);
    box->setInformativeText(text);
    // QMessageBox has no format setting for the informative text: find its
    // label by the text it shows.
    for (QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text() == text)
            label->setTextFormat(Qt::PlainText);
    }

    const QIcon icon = QGuiApplication::windowIcon();
    if (icon.isNull())
        box->setIcon(QMessageBox::Information);
    else
        box->setIconPixmap(icon.pixmap(64));

    for (qsizetype i = 0; i < buttons.size(); ++i) {
        QPushButton* button =
            box->addButton(buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::ActionRole);
        if (i == 0)
            box->setDefaultButton(button);
        if (added)
            added->append(button);
    }
    if (buttons.size() > 1) {
        // Escape and the window's close button dismiss the alert without
        // choosing any of its buttons, whichever they are: a hidden button
        // takes them.
        QPushButton* dismiss = box->addButton(QMessageBox::Cancel);
        dismiss->hide();
        box->setEscapeButton(dismiss);
    }
    return box;
}

namespace {

// The index show() and notify() answer for the button that closed `box`.
int chosenIndex(const QMessageBox& box, const QList<QPushButton*>& added)
{
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked)
        return -1;
    if (added.isEmpty())
        return 0;
    for (qsizetype i = 0; i < added.size(); ++i) {
        if (added[i] == clicked)
            return static_cast<int>(i);
    }
    return -1;
}

void bringForward(QMessageBox& box)
{
    box.show();
    box.raise();
    box.activateWindow();
}

} // namespace

int show(const QString& title, const QString& text, const QStringList& buttons)
{
    QList<QPushButton*> added;
    const std::unique_ptr<QMessageBox> box = makeBox(title, text, buttons, &added);
    bringForward(*box);
    box->exec();
    return chosenIndex(*box, added);
}

void notify(const QString& title, const QString& text)
{
    offer(title, text, {}, {});
}

void offer(const QString& title, const QString& text, const QStringList& buttons,
           std::function<void(int)> chosen)
{
    auto added = std::make_shared<QList<QPushButton*>>();
    QMessageBox* box = makeBox(title, text, buttons, added.get()).release();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    if (chosen) {
        QObject::connect(box, &QMessageBox::finished, box,
                         [box, added, chosen] { chosen(chosenIndex(*box, *added)); });
    }
    bringForward(*box);
}

} // namespace Alerts
