#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QMessageBox;
class QPushButton;

// Kavo's alerts: a modal message box with the application's icon, brought to
// the front. Texts are shown as plain text, never as markup.
namespace Alerts {

// Shows the alert and answers the index of the chosen button in `buttons`
// (an empty list shows the single default button, answered as 0), or -1 when
// the alert was dismissed with Escape or its close button.
int show(const QString& title, const QString& text, const QStringList& buttons = {});

// Shows a notice and returns at once (a drop that could not be saved,
// settings that cannot be kept): the program goes on while it is read.
void notify(const QString& title, const QString& text);
// A notice with buttons: `chosen` later gets the index of the button the
// user chose, as show() answers it.
void offer(const QString& title, const QString& text, const QStringList& buttons,
           std::function<void(int)> chosen);

// The message box that show() runs, not yet shown. `added` receives the push
// buttons in the order of `buttons`.
std::unique_ptr<QMessageBox> makeBox(const QString& title, const QString& text,
                                     const QStringList& buttons,
                                     QList<QPushButton*>* added = nullptr);

} // namespace Alerts
