#pragma once

#include "model/ShelfStore.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>

#include <functional>
#include <memory>

class QTimer;
class QVariantAnimation;
class QPropertyAnimation;
class ShelfContentView;
class ShelfPanel;

// The owner of one shelf: its store, its panel and the panel's content. It
// places the panel near a point with a fade-in and a pop, resizes it when the
// content asks (keeping the top edge), and fades it out when the shelf
// closes, then reports onClose exactly once.
class ShelfWindowController : public QObject
{
    Q_OBJECT
public:
    ShelfWindowController();
    ~ShelfWindowController() override;

    // Loads, a part per turn of the event loop, what the first shelf of a
    // run would otherwise load while it is being built: the font database,
    // the bus object that offers files to sandboxed programs, the icon theme
    // and (on a worker) the image plug-ins. For when shelves are known to be coming (the journal holds some).
    static void prepare();

    const ShelfStorePtr& store() const { return m_store; }
    ShelfPanel* window() const { return m_window.get(); }
    ShelfContentView* content() const { return m_content; }

    // Called once the panel has faded out and been hidden.
    std::function<void()> onClose;

    // Places the panel at p (centred, or with its top edge at p when
    // anchorTop), clamped into the screen, and shows it with a fade-in.
    void show(const QPointF& p, bool anchorTop);
    // Shows the panel beside `anchor` (a tray icon), on the side towards the
    // middle of the screen, clamped into the screen, with a fade-in.
    void showBeside(const QRectF& anchor);
    // Shows the panel at once with its top edge where `frame`'s was, as
    // tall as its content asks for, clamped into today's screens: a shelf of
    // an earlier run coming back.
    void showRestored(const QRect& frame);
    // Fades the panel out, hides it, then calls onClose. Further calls while
    // closing do nothing.
    void close();
    bool isClosing() const { return m_closing; }
    // Grows or shrinks the panel to `height`, keeping its top edge.
    void resizeToHeight(qreal height);

    // Brings the panel to the front without taking focus.
    void bringToFront();
    // Asks for the shown panel to become the active window, with the
    // keyboard focus, for the user's key press or click at `userTime` (the
    // window system's time; 0: not known).
    void activate(quint32 userTime);

    static constexpr int appearMs = 180;
    static constexpr int resizeMs = 200;
    static constexpr int closeMs = 150;

    // Store changes rebuild the content at once, but a burst of them (previews
    // arriving for a large shelf) rebuilds it at a bounded rate, so that the
    // rebuilds never take more than about a third of the UI thread's time.
    void contentChanged();
    static constexpr int minReloadSpacingMs = 16;

private:
    void showAt(const QPointF& topLeft);
    void setOpacity(qreal opacity);
    void reloadNow();

    ShelfStorePtr m_store;
    std::unique_ptr<ShelfPanel> m_window;
    ShelfContentView* m_content = nullptr; // owned by m_window
    QPointer<QVariantAnimation> m_fade;
    QPointer<QPropertyAnimation> m_resize;
    bool m_closing = false;
    QTimer* m_reloadLater = nullptr;
    QElapsedTimer m_sinceReload;
    qint64 m_lastReloadMs = 0;
};
