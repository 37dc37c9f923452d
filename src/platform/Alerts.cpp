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

int show(const QString& title, const QString& text, const QStringList& buttons)
{
    QList<QPushButton*> added;
    const std::unique_ptr<QMessageBox> box = makeBox(title, text, buttons, &added);
    box->show();
    box->raise();
    box->activateWindow();
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
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

void notify(const QString& title, const QString& text)
{
    QMessageBox* box = makeBox(title, text, {}).release();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
    box->raise();
    box->activateWindow();
}

} // namespace Alerts
