#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QMessageBox;
class QPushButton;

// Kavo's alerts: a modal message box with the application's icon, brought to
// the front. Texts are shown as plain text, never as markup.
namespace Alerts {

// Shows the alert and answers the index of the chosen button in `buttons`
// (an empty list shows the single default button), or -1 when none was.
int show(const QString& title, const QString& text, const QStringList& buttons = {});

// The message box that show() runs, not yet shown. `added` receives the push
// buttons in the order of `buttons`.
std::unique_ptr<QMessageBox> makeBox(const QString& title, const QString& text,
                                     const QStringList& buttons,
                                     QList<QPushButton*>* added = nullptr);

} // namespace Alerts
