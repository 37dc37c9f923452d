#include "shelf/ShelfWindowController.h"

#include "core/Background.h"
#include "core/NextTurn.h"
#include "platform/FileIcons.h"
#include "platform/WindowHints.h"
#include "platform/freedesktop/FileTransfer.h"
#include "shelf/PreviewPanel.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfPlacement.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>

namespace {

// The offscreen platform cannot fade or raise windows and warns each time.
bool canFadeWindows() { return QGuiApplication::platformName() != u"offscreen"; }

} // namespace

ShelfWindowController::ShelfWindowController()
    : m_store(std::make_shared<ShelfStore>()), m_window(std::make_unique<ShelfPanel>())
{
    m_window->resize(ShelfContentView::shelfWidth, ShelfContentView::stackHeight);
    m_content = new ShelfContentView(m_store);

    QPointer<ShelfWindowController> self(this);
    m_content->onClose = [self] {
        if (self)
            self->close();
    };
    m_content->onWantsHeight = [self](qreal h) {
        if (self)
            self->resizeToHeight(h);
    };
    m_window->setContent(m_content);
    m_window->onActivated = [self] {
        if (!self)
            return;
        self->m_store->pruneMissing();
        // A window manager raises a shelf that is clicked.
        PreviewPanel::raiseAboveShelves();
    };
    m_window->onCloseRequested = [self] {
        if (self)
            self->close();
    };
    m_reloadLater = new QTimer(this);
    m_reloadLater->setSingleShot(true);
    connect(m_reloadLater, &QTimer::timeout, this, &ShelfWindowController::reloadNow);
    m_store->onChange = [self] {
        if (self)
            self->contentChanged();
    };
}

void ShelfWindowController::contentChanged()
{
    if (m_reloadLater->isActive())
        return; // a rebuild is coming: it will show this change too
    const qint64 spacing = std::max<qint64>(minReloadSpacingMs, 3 * m_lastReloadMs);
    const qint64 since = m_sinceReload.isValid() ? m_sinceReload.elapsed() : spacing;
    if (since >= spacing)
        reloadNow();
    else
        m_reloadLater->start(int(spacing - since));
}

void ShelfWindowController::reloadNow()
{
    if (!m_content)
        return;
    QElapsedTimer took;
    took.start();
    m_content->reload();
    m_lastReloadMs = took.elapsed();
    m_sinceReload.start();
}

ShelfWindowController::~ShelfWindowController()
{
    // The store may outlive the shelf (a drag, a late thumbnail): it must not
    // call back into a content view that is gone.
    m_store->onChange = nullptr;
}

void ShelfWindowController::prepare()
{
    // Qt loads every image plug-in the first time it reads a picture, an
    // icon's too: a worker does it meanwhile.
    Background::run([] { QImageReader::supportedImageFormats(); });
    // Each step in a turn of its own, timers running between them.
    inNextTurn(qApp, [] {
        QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("Shelf"));
        inNextTurn(qApp, [] {
            FileTransfer::instance();
            // The icon theme is read with its first icon, and the icon
            // drawn, each in a turn of its own; most piles show a text
            // file's.
            inNextTurn(qApp, [] {
                FileIcons::findIcon(QStringLiteral("text/plain"));
                inNextTurn(qApp, [] { FileIcons::iconForType(QStringLiteral("text/plain")); });
            });
        });
    });
}

void ShelfWindowController::setOpacity(qreal opacity)
{
    if (canFadeWindows())
        m_window->setWindowOpacity(opacity);
}

void ShelfWindowController::show(const QPointF& p, bool anchorTop)
{
    if (!m_window)
        return;
    int primary = -1;
    const QList<ShelfPlacement::Screen> screens = Screens::current(&primary);
    showAt(ShelfPlacement::origin(p, QSizeF(m_window->size()), anchorTop, screens, primary));
}

void ShelfWindowController::showBeside(const QRectF& anchor)
{
    if (!m_window)
        return;
    int primary = -1;
    const QList<ShelfPlacement::Screen> screens = Screens::current(&primary);
    showAt(ShelfPlacement::beside(anchor, QSizeF(m_window->size()), screens, primary));
}

void ShelfWindowController::showRestored(const QRect& frame)
{
    if (!m_window)
        return;
    // At the height its content asks for now (a list of fewer files than
    // when it was kept is shorter), at once: a resize the content asked for
    // before the shelf was placed would still be moving it.
    if (m_resize)
        m_resize->stop();
    const int height = m_content->isListMode() ? ShelfContentView::listHeight(m_store->items.size())
                                               : ShelfContentView::stackHeight;
    m_window->resize(m_window->width(), height);
    int primary = -1;
    const QList<ShelfPlacement::Screen> screens = Screens::current(&primary);
    const QPointF topMiddle(frame.x() + frame.width() / 2.0, frame.y());
    m_window->move(ShelfPlacement::origin(topMiddle, QSizeF(m_window->size()), true, screens, primary)
                       .toPoint());
    setOpacity(1);
    bringToFront();
}

void ShelfWindowController::showAt(const QPointF& topLeft)
{
    m_window->move(topLeft.toPoint());
    setOpacity(0);
    bringToFront();

    if (m_fade)
        m_fade->stop();
    auto* fade = new QVariantAnimation(this);
    fade->setDuration(appearMs);
    fade->setEasingCurve(QEasingCurve::OutQuad);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    connect(fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { setOpacity(v.toReal()); });
    m_fade = fade;
    fade->start(QAbstractAnimation::DeleteWhenStopped);
    m_content->popIn();
}

void ShelfWindowController::bringToFront()
{
    const bool wasVisible = m_window->isVisible();
    if (!wasVisible) {
        WindowHints::showOnAllDesktops(m_window.get());
        m_window->setClipsToShape(!WindowHints::supportsTranslucency());
    }
    m_window->show();
    // Showing a widget posts an update of it and of each child. Handled
    // later, they would paint the whole panel a second time right after the
    // window's first expose has painted it; taken now, they join that paint.
    if (!wasVisible)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
    if (canFadeWindows()) { // the offscreen platform has no stacking order
        m_window->raise();
        PreviewPanel::raiseAboveShelves();
    }
}

void ShelfWindowController::activate(quint32 userTime)
{
    if (m_window && m_window->isVisible() && !m_closing)
        WindowHints::activate(m_window.get(), userTime);
}

void ShelfWindowController::resizeToHeight(qreal height)
{
    if (!m_window)
        return;
    const QScreen* screen = m_window->screen();
    std::optional<QRectF> visible;
    if (screen)
        visible = QRectF(screen->availableGeometry());
    // Measured from where the panel is heading: a request for the height it
    // is already growing to leaves that animation running, and any other
    // request turns the panel towards the newest height from where it is now.
    const QRectF heading = m_resize ? QRectF(m_resize->endValue().toRect())
                                    : QRectF(m_window->geometry());
    const std::optional<QRectF> target = ShelfPlacement::resized(heading, height, visible);
    if (!target)
        return;
    if (m_resize)
        m_resize->stop();
    auto* anim = new QPropertyAnimation(m_window.get(), "geometry", this);
    anim->setDuration(resizeMs);
    anim->setEasingCurve(QEasingCurve::InOutQuad);
    anim->setStartValue(m_window->geometry());
    anim->setEndValue(target->toRect());
    m_resize = anim;
    anim->start(QAbstractAnimation::DeleteWhenStopped);
}

void ShelfWindowController::close()
{
    if (!m_window || m_closing)
        return;
    m_closing = true;
    if (m_fade)
        m_fade->stop();
    auto* fade = new QVariantAnimation(this);
    fade->setDuration(closeMs);
    fade->setStartValue(canFadeWindows() ? m_window->windowOpacity() : 1.0);
    fade->setEndValue(0.0);
    connect(fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { setOpacity(v.toReal()); });
    QPointer<ShelfWindowController> self(this);
    connect(fade, &QVariantAnimation::finished, this, [self] {
        if (!self)
            return;
        // A preview of this shelf's items goes with it.
        PreviewPanel::release(self->m_content);
        self->m_window->hide();
        if (self->onClose)
            self->onClose();
    });
    m_fade = fade;
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}
