#include "shelf/ShelfContentView.h"

#include "drops/DropReader.h"
#include "platform/Alerts.h"
#include "shelf/BadgeView.h"
#include "shelf/ElidedLabel.h"
#include "shelf/HighlightView.h"
#include "shelf/ItemRowView.h"
#include "shelf/MoveWatcher.h"
#include "shelf/OverlayScrollBar.h"
#include "shelf/PopEffect.h"
#include "shelf/PreviewPanel.h"
#include "shelf/ShelfAccessible.h"
#include "shelf/ShelfColors.h"
#include "shelf/ShelfListAccessible.h"
#include "shelf/ShelfListView.h"
#include "shelf/StackAreaView.h"
#include "shelf/SymbolButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>

#include <algorithm>
#include <cmath>

ShelfContentView::ShelfContentView(ShelfStorePtr store, QWidget* parent)
    : QWidget(parent), m_store(std::move(store)), m_highlight(new HighlightView),
      m_closeButton(new SymbolButton(QStringLiteral("xmark"), tr("Close shelf"))),
      m_listButton(new SymbolButton(QStringLiteral("list.bullet"), tr("Show items"))),
      m_badge(new BadgeView), m_stackArea(new StackAreaView), m_scroll(new ShelfListView),
      m_listDoc(new QWidget), m_titleLabel(new ElidedLabel(Qt::ElideMiddle, Qt::AlignHCenter)),
      m_detailLabel(new ElidedLabel(Qt::ElideRight, Qt::AlignHCenter)),
      m_moves(new MoveWatcher(m_store, this)), m_drops(new DropReader(m_store, this))
{
    ShelfAccessible::install();
    m_drops->onNotice = Alerts::notify;
    resize(shelfWidth, stackHeight);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_TranslucentBackground);

    // Back to front: the background is painted by this view; the highlight
    // is added last so it draws over everything.
    QPointer<ShelfContentView> self(this);
    m_stackArea->setParent(this);
    m_stackArea->onDragStart = [self](QMouseEvent* e) {
        if (self)
            self->beginDrag(self->m_store->items, self->m_stackArea, e);
    };
    m_stackArea->onClick = [self] {
        if (self)
            self->toggleList();
    };
    // Dragged items whose files a target moved away later: a shelf emptied
    // so closes, as at the end of the drag.
    m_moves->onEmptied = [self] {
        if (self)
            self->closeEmptied();
    };

    m_scroll->setParent(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The list's scroll bar floats over the rows while it is needed: a bar
    // beside them would eat into the narrow rows.
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollBar = new OverlayScrollBar(m_scroll);
    m_scroll->setWidgetResizable(false);
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_listDoc->setAutoFillBackground(false);
    m_scroll->setWidget(m_listDoc);
    m_scroll->hide();
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &ShelfContentView::buildRowsInView);

    // The header's buttons are reached with Tab; a click leaves the keys
    // where they were.
    m_closeButton->setParent(this);
    m_closeButton->setFocusPolicy(Qt::TabFocus);
    connect(m_closeButton, &SymbolButton::clicked, this, &ShelfContentView::closeTapped);
    m_listButton->setParent(this);
    m_listButton->setFocusPolicy(Qt::TabFocus);
    connect(m_listButton, &SymbolButton::clicked, this, &ShelfContentView::toggleList);
    m_badge->setParent(this);

    m_titleLabel->setParent(this);
    m_titleLabel->setFont(ShelfColors::font(this, 13, QFont::DemiBold));
    m_detailLabel->setParent(this);
    m_detailLabel->setFont(ShelfColors::font(this, 11));
    // The empty shelf's hint names the hot key: shrink it a little rather
    // than cut it where the font is wide.
    m_detailLabel->setMinimumPixelSize(9);
    m_detailLabel->setColor(ShelfColors::secondaryLabel(this));

    m_highlight->setParent(this);
    m_highlight->setRadius(radius);

    setAcceptDrops(true);

    layoutSubviews();
    reload();
}

ShelfContentView::~ShelfContentView()
{
    PreviewPanel::release(this);
}

int ShelfContentView::listHeight(qsizetype n)
{
    return 90 + rowH * int(std::min<qsizetype>(std::max<qsizetype>(n, 2), 7));
}

void ShelfContentView::reload()
{
    const QList<ShelfItemPtr>& items = m_store->items;
    const qsizetype n = items.size();
    m_moves->forgetGone();
    if (n > 0)
        m_closedEmpty = false;

    m_stackArea->items = items;
    m_stackArea->update();

    m_badge->setCount(int(n));
    m_badge->setVisible(n > 0);
    m_listButton->setVisible(n > 0);

    m_titleLabel->setText(n > 0 ? m_store->summary() : tr("Kavo"));
    m_detailLabel->setText(m_store->detail());

    if (n == 0 && m_listMode)
        setListMode(false);

    if (m_listMode) {
        // The same items in the same order (only pictures changed): the rows
        // stay and show the new pictures. Anything else builds them anew.
        if (m_listed == items) {
            for (ItemRowView* row : std::as_const(m_rows)) {
                if (row)
                    row->refreshPicture();
            }
        } else {
            const QList<ShelfItemPtr> before = m_listed;
            clearRows();
            m_listed = items;
            m_rows = QList<ItemRowView*>(n, nullptr);
            m_builtFirst = m_builtEnd = 0;
            ShelfListAccessible::itemsChanged(m_scroll, before, m_listed);
            keepSelection();
        }
        if (onWantsHeight)
            onWantsHeight(listHeight(n));
    }
    layoutSubviews();
    m_stackArea->update();
    ShelfAccessible::contentChanged(this);

    // An open preview follows the shelf's contents.
    if (PreviewPanel::sharedExists() && PreviewPanel::shared()->isControlledBy(this))
        PreviewPanel::shared()->reloadData();
}

ItemRowView* ShelfContentView::makeRow(const ShelfItemPtr& item)
{
    auto* row = new ItemRowView(item, m_listDoc);
    QPointer<ShelfContentView> self(this);
    QPointer<ItemRowView> weakRow(row);
    row->onDragStart = [self, weakRow, item](QMouseEvent* e) {
        if (self && weakRow)
            self->beginDrag({item}, weakRow, e);
    };
    row->onRemove = [self, item] {
        if (self)
            self->removeItem(item);
    };
    row->onOpen = [self, item] {
        if (self)
            self->openItem(item);
    };
    row->onReveal = [self, item] {
        if (self)
            self->revealItem(item);
    };
    // A press on a row selects it.
    row->onSelect = [self, item] {
        if (self)
            self->selectIndex(self->m_listed.indexOf(item));
    };
    row->setSelected(item == m_selected);
    row->show();
    return row;
}

void ShelfContentView::clearRows()
{
    letGo(m_rows);
    m_rows.clear();
    m_listed.clear();
    m_builtFirst = m_builtEnd = 0;
}

void ShelfContentView::letGo(const QList<ItemRowView*>& rows)
{
    if (std::none_of(rows.begin(), rows.end(), [](ItemRowView* row) { return row; }))
        return;
    // Rows go later, not now: this may run inside a row's own handler (its
    // remove button, its menu) or under a drag that a row started. They go
    // together, in one hidden holder, so that a long list does not queue one
    // deferred deletion per row.
    auto* holder = new QWidget(this);
    holder->hide();
    for (ItemRowView* row : rows) {
        if (row)
            row->setParent(holder);
    }
    holder->deleteLater();
}

void ShelfContentView::setListMode(bool on)
{
    m_listMode = on;
    // The area coming is shown before the other one goes: the keyboard focus
    // in the one going moves on to it.
    QWidget* const coming = on ? static_cast<QWidget*>(m_scroll) : m_stackArea;
    QWidget* const going = on ? static_cast<QWidget*>(m_stackArea) : m_scroll;
    coming->setVisible(true);
    going->setVisible(false);
    if (on) {
        m_listButton->setSymbol(QStringLiteral("square.stack.3d.up"));
        m_listButton->setToolTip(tr("Show as stack"));
        reload();
    } else {
        m_listButton->setSymbol(QStringLiteral("list.bullet"));
        m_listButton->setToolTip(tr("Show items"));
        const QList<ShelfItemPtr> before = m_listed;
        clearRows();
        m_selected = nullptr;
        m_selectedAt = -1;
        ShelfListAccessible::itemsChanged(m_scroll, before, m_listed);
        if (onWantsHeight)
            onWantsHeight(stackHeight);
    }
}

void ShelfContentView::toggleList()
{
    const qsizetype n = m_store->items.size();
    if (n == 0 && !m_listMode)
        return;
    setListMode(n > 0 ? !m_listMode : false);
}

void ShelfContentView::closeEmptied()
{
    // The end of a drag and the watch on its files may both find the shelf
    // emptied: it is closed once.
    if (!m_store->items.isEmpty() || m_closedEmpty)
        return;
    m_closedEmpty = true;
    if (onClose)
        onClose();
}

void ShelfContentView::closeTapped()
{
    if (onClose)
        onClose();
}

void ShelfContentView::resizeEvent(QResizeEvent*)
{
    layoutSubviews();
}

void ShelfContentView::layoutSubviews()
{
    const int W = width(), H = height();
    m_highlight->setGeometry(0, 0, W, H);
    m_closeButton->setGeometry(10, 6, 24, 24);
    m_listButton->setGeometry(W - 34, 6, 24, 24);
    const int b = m_badge->sizeHint().width();
    m_badge->setGeometry(int(std::lround(W / 2.0 - b / 2.0)), 9, b, 18);
    m_stackArea->setGeometry(0, headerH, W, H - headerH - footerH);
    m_scroll->setGeometry(6, headerH, W - 12, H - headerH - footerH);
    layoutRows();
    m_titleLabel->setGeometry(14, H - 42, W - 28, 18);
    m_detailLabel->setGeometry(14, H - 23, W - 28, 15);
}

void ShelfContentView::layoutRows()
{
    const QSize c = m_scroll->viewport()->size();
    m_listDoc->resize(c.width(), std::max(int(m_rows.size()) * rowH, c.height()));
    buildRowsInView();
}

void ShelfContentView::buildRowsInView()
{
    if (m_rows.isEmpty())
        return;
    const int top = m_scroll->verticalScrollBar()->value();
    const int width = m_scroll->viewport()->width();
    const qsizetype first = std::max(0, top / rowH - rowsAround);
    const qsizetype last =
        std::min(m_rows.size() - 1, qsizetype((top + m_scroll->viewport()->height()) / rowH + rowsAround));
    // Rows exist only near where the view was and is: those two spans are
    // all a scroll step looks at, however long the list.
    QList<ItemRowView*> far;
    for (qsizetype i = m_builtFirst; i < m_builtEnd; ++i) {
        ItemRowView*& row = m_rows[i];
        if (row && (i < first - rowsAround || i > last + rowsAround)) {
            far << row;
            row = nullptr;
        }
    }
    for (qsizetype i = first; i <= last; ++i) {
        ItemRowView*& row = m_rows[i];
        if (!row)
            row = makeRow(m_listed[i]);
        row->setGeometry(0, int(i) * rowH, width, rowH);
    }
    const qsizetype keptFirst = std::max(m_builtFirst, first - rowsAround);
    const qsizetype keptEnd = std::min(m_builtEnd, last + rowsAround + 1);
    m_builtFirst = keptFirst < keptEnd ? std::min(first, keptFirst) : first;
    m_builtEnd = keptFirst < keptEnd ? std::max(last + 1, keptEnd) : last + 1;
    letGo(far);
}

void ShelfContentView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ShelfColors::background(this));
    p.drawRoundedRect(QRectF(rect()), radius, radius);
}

void ShelfContentView::popIn()
{
    if (m_pop)
        m_pop->stop();
    auto* effect = new PopEffect(this);
    setGraphicsEffect(effect); // replaces (and deletes) a previous one
    auto* anim = new QVariantAnimation(this);
    const qreal duration = PopEffect::settlingDuration();
    anim->setDuration(int(std::lround(duration * 1000)));
    anim->setStartValue(0.0);
    anim->setEndValue(duration);
    QPointer<PopEffect> weakEffect(effect);
    connect(anim, &QVariantAnimation::valueChanged, effect, [weakEffect](const QVariant& t) {
        if (weakEffect)
            weakEffect->setScale(PopEffect::springValue(t.toReal()));
    });
    connect(anim, &QVariantAnimation::finished, this, [this, weakEffect] {
        if (weakEffect && graphicsEffect() == weakEffect)
            setGraphicsEffect(nullptr);
    });
    effect->setScale(PopEffect::from);
    m_pop = anim;
    anim->start(QAbstractAnimation::DeleteWhenStopped);
}

bool ShelfContentView::isPopping() const
{
    return graphicsEffect() != nullptr;
}

void ShelfContentView::wiggle()
{
    auto* anim = new QPropertyAnimation(m_stackArea, "wiggleAngle", m_stackArea);
    anim->setDuration(350);
    anim->setKeyValueAt(0.0, 0.0);
    anim->setKeyValueAt(0.25, 0.04);
    anim->setKeyValueAt(0.5, -0.04);
    anim->setKeyValueAt(0.75, 0.025);
    anim->setKeyValueAt(1.0, 0.0);
    anim->start(QAbstractAnimation::DeleteWhenStopped);
    popIn();
}

void ShelfContentView::mousePressEvent(QMouseEvent* e)
{
    setFocus(Qt::MouseFocusReason);
    // Asked only where nothing activated the shelf on the click: a window
    // manager asked again raises it over the preview. A shelf that was
    // active already (it took the focus when it opened) is raised by the
    // window manager for the click: the preview goes back over it.
    if (QWidget* w = window(); w && !w->isActiveWindow())
        w->activateWindow();
    else
        PreviewPanel::raiseAboveShelves();
    if (e->button() != Qt::LeftButton)
        return;
    m_pressAt = e->globalPosition();
    m_moveOffset.reset();
}

void ShelfContentView::mouseMoveEvent(QMouseEvent* e)
{
    // A press on the background that moves moves the shelf: through the
    // window manager where it can, by hand otherwise. Not on the press
    // itself: a window manager asked to move a window by a mere click keeps
    // the keyboard until a key ends the move.
    if (m_pressAt && (e->buttons() & Qt::LeftButton)) {
        const QPointF d = e->globalPosition() - *m_pressAt;
        if (std::hypot(d.x(), d.y()) <= StackAreaView::dragThreshold)
            return;
        const QPointF pressedAt = *m_pressAt;
        m_pressAt.reset();
        QWindow* handle = window()->windowHandle();
        if (handle && handle->startSystemMove())
            return;
        // By hand, keeping to the point where the shelf was grabbed.
        m_moveOffset = pressedAt - QPointF(window()->pos());
    }
    if (m_moveOffset)
        window()->move((e->globalPosition() - *m_moveOffset).toPoint());
}

void ShelfContentView::mouseReleaseEvent(QMouseEvent*)
{
    m_pressAt.reset();
    m_moveOffset.reset();
}
