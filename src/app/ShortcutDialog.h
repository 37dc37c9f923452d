#pragma once

#include <QDialog>
#include <QKeyCombination>

#include <functional>
#include <optional>

class QKeySequenceEdit;
class QLabel;
class QPushButton;

// "Keyboard Shortcut": the key combination that opens a new shelf, typed in
// one chord, reset to the default or turned off. Only combinations held with
// Ctrl, Alt or Super are taken.
class ShortcutDialog : public QDialog
{
    Q_OBJECT
public:
    // `current`: the key now set (nothing: off). With `desktopSettings` the
    // dialog also offers the desktop's own settings for the shortcut.
    ShortcutDialog(std::optional<QKeyCombination> current, bool desktopSettings,
                   QWidget* parent = nullptr);

    // After accept(): the key chosen, or nothing when the user turned it off.
    std::optional<QKeyCombination> choice() const { return m_choice; }

    std::function<void()> onOpenDesktopSettings;

private:
    void typed();
    void display(std::optional<QKeyCombination> key);

    QKeySequenceEdit* m_edit;
    QLabel* m_hint;
    QPushButton* m_ok;
    std::optional<QKeyCombination> m_choice;
};
