#pragma once

#include <QWidget>

#include <functional>

// The floating window of one shelf: frameless, above other windows, without a
// taskbar entry, shown without taking focus, translucent around its rounded
// corners. It takes focus when clicked, or when its owner asks the window
// manager for it (a shelf asked for by a key, a command or the tray), so the
// shelf's keys reach it.
class ShelfPanel : public QWidget
{
    Q_OBJECT
public:
    ShelfPanel();

    // The shelf's content; it always fills the panel.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // Called when the panel becomes the active window.
    std::function<void()> onActivated;
    // Called instead of closing when the window manager asks the panel to
    // close (Alt+F4, a taskbar's close): the owner closes the shelf.
    std::function<void()> onCloseRequested;

    // Where nothing composites the desktop, translucent corners would come
    // out black: the panel then clips itself to its rounded shape.
    void setClipsToShape(bool clips);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void updateMask();

    QWidget* m_content = nullptr;
    bool m_clipsToShape = false;
};
