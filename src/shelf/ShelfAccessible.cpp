#include "shelf/ShelfAccessible.h"

#include "shelf/BadgeView.h"
#include "shelf/ElidedLabel.h"
#include "shelf/HighlightView.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/StackAreaView.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QWindow>

namespace {

ShelfContentView* contentOf(QWidget* w)
{
    for (; w; w = w->parentWidget()) {
        if (auto* view = qobject_cast<ShelfContentView*>(w))
            return view;
        if (auto* panel = qobject_cast<ShelfPanel*>(w))
            return qobject_cast<ShelfContentView*>(panel->content());
    }
    return nullptr;
}

// The shelf's window: a frame named for what the shelf holds.
class PanelAccessible : public QAccessibleWidget
{
public:
    explicit PanelAccessible(ShelfPanel* panel) : QAccessibleWidget(panel, QAccessible::Window) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            if (const ShelfContentView* view = contentOf(widget()))
                return ShelfAccessible::shelfName(view->store()->items.size());
        }
        return QAccessibleWidget::text(t);
    }
};

// The pile: a button named for the files it holds whose action shows them
// as a list, as a click does.
class PileAccessible : public QAccessibleWidget
{
public:
    explicit PileAccessible(StackAreaView* area) : QAccessibleWidget(area, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        const auto* area = static_cast<const StackAreaView*>(object());
        switch (t) {
        case QAccessible::Name:
            // Where the pile is not in the tree (an empty shelf shows its
            // hint instead) a focus on it still says what the place is for.
            return area->items.isEmpty() ? StackAreaView::emptyText() : ShelfAccessible::pileName(area->items);
        case QAccessible::Description:
            return area->items.isEmpty()
                       ? QString()
                       : QCoreApplication::translate("ShelfAccessible", "Press to show the items as a list");
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QStringList actionNames() const override
    {
        const auto* area = static_cast<const StackAreaView*>(object());
        const QStringList others = QAccessibleWidget::actionNames();
        return area->items.isEmpty() ? others : QStringList{pressAction()} + others;
    }

    QString localizedActionDescription(const QString& name) const override
    {
        return name == pressAction() ? QCoreApplication::translate("ShelfAccessible", "Shows the items as a list")
                                     : QAccessibleWidget::localizedActionDescription(name);
    }

    void doAction(const QString& name) override
    {
        auto* area = static_cast<StackAreaView*>(object());
        ShelfContentView* view = contentOf(area);
        if (name != pressAction())
            QAccessibleWidget::doAction(name);
        else if (view && !area->items.isEmpty() && !view->isListMode())
            view->toggleList();
    }
};

// The empty shelf's hint, painted by the pile's view: a text of its own while
// it is on show.
class HintAccessible : public QAccessibleInterface
{
public:
    explicit HintAccessible(StackAreaView* area) : m_area(area) {}

    bool isValid() const override { return m_area; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_area ? m_area->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override
    {
        return m_area ? QAccessible::queryAccessibleInterface(m_area->parentWidget()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? StackAreaView::emptyText() : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!m_area)
            return {};
        const QRect local = m_area->emptyTextRect().toAlignedRect();
        return QRect(m_area->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invisible = !m_area || !m_area->isVisible() || !m_area->items.isEmpty();
        s.offscreen = s.invisible;
        return s;
    }

private:
    QPointer<StackAreaView> m_area;
};

// The content of a shelf: its controls, less the badge (whose count is in
// the shelf's and the pile's names) and the highlight; the hint in place of
// the pile while the shelf is empty.
class ContentAccessible : public QAccessibleWidget
{
public:
    explicit ContentAccessible(ShelfContentView* view) : QAccessibleWidget(view, QAccessible::Client)
    {
        StackAreaView* area = view->stackArea();
        m_hintId = QAccessible::registerAccessibleInterface(new HintAccessible(area));
        // The hint goes with the view that paints it; the registry owns it.
        const QAccessible::Id id = m_hintId;
        QObject::connect(area, &QObject::destroyed, [id] {
            if (QAccessible::accessibleInterface(id))
                QAccessible::deleteAccessibleInterface(id);
        });
        m_shownEmpty = view->store()->items.isEmpty();
        m_names = names();
    }

    QAccessibleInterface* hint() const { return QAccessible::accessibleInterface(m_hintId); }

    int childCount() const override { return int(shown().size()); }
    QAccessibleInterface* child(int index) const override { return shown().value(index); }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return int(shown().indexOf(const_cast<QAccessibleInterface*>(child)));
    }

    // Tells readers what changed since they were last told: the shelf's and
    // the pile's names, and the pile in place of the hint or back.
    void sync()
    {
        const QStringList now = names();
        if (now.value(0) != m_names.value(0))
            notifyName(view()->window());
        if (now.value(1) != m_names.value(1))
            notifyName(view()->stackArea());
        m_names = now;
        const bool empty = view()->store()->items.isEmpty();
        if (empty == m_shownEmpty)
            return;
        // Told as a child removed (while it is still listed, so that readers
        // learn where it was) and a child added.
        QAccessibleInterface* pile = QAccessible::queryAccessibleInterface(view()->stackArea());
        QAccessibleInterface* gone = empty ? pile : hint();
        QAccessibleInterface* come = empty ? hint() : pile;
        if (gone) {
            QAccessibleEvent event(gone, QAccessible::ObjectDestroyed);
            QAccessible::updateAccessibility(&event);
        }
        m_shownEmpty = empty;
        if (come) {
            QAccessibleEvent event(come, QAccessible::ObjectCreated);
            QAccessible::updateAccessibility(&event);
        }
    }

private:
    ShelfContentView* view() const { return static_cast<ShelfContentView*>(object()); }
    QStringList names() const
    {
        const QList<ShelfItemPtr>& items = view()->store()->items;
        return {ShelfAccessible::shelfName(items.size()), ShelfAccessible::pileName(items)};
    }
    static void notifyName(QObject* object)
    {
        QAccessibleEvent event(object, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }

    QList<QAccessibleInterface*> shown() const
    {
        QList<QAccessibleInterface*> out;
        const int n = QAccessibleWidget::childCount();
        for (int i = 0; i < n; ++i) {
            QAccessibleInterface* c = QAccessibleWidget::child(i);
            QObject* o = c ? c->object() : nullptr;
            if (!c || qobject_cast<BadgeView*>(o) || qobject_cast<HighlightView*>(o))
                continue;
            if (qobject_cast<StackAreaView*>(o) && m_shownEmpty) {
                if (QAccessibleInterface* h = hint())
                    out << h;
                continue;
            }
            out << c;
        }
        return out;
    }

    QAccessible::Id m_hintId = 0;
    bool m_shownEmpty = true;
    QStringList m_names; // the shelf's and the pile's, as readers were last told
};

// The application: its windows as Qt lists them, and after them the menus
// that are open. Qt leaves popup windows out of the application's children,
// so a reader exploring the tree would never find an open menu.
class ApplicationAccessible : public QAccessibleApplication
{
public:
    int childCount() const override { return int(children().size()); }
    QAccessibleInterface* child(int index) const override
    {
        return QAccessible::queryAccessibleInterface(children().value(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child ? int(children().indexOf(child->object())) : -1;
    }

private:
    static QObjectList children()
    {
        QObjectList out;
        for (QWindow* w : QGuiApplication::topLevelWindows()) {
            if (w->type() == Qt::Desktop || (w->type() == Qt::Popup && !w->isVisible()))
                continue;
            if (QAccessibleInterface* root = w->accessibleRoot(); root && root->object())
                out << root->object();
        }
        return out;
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (className == u"QApplication" && object == qApp)
        return new ApplicationAccessible;
    if (className == u"ShelfPanel")
        return new PanelAccessible(static_cast<ShelfPanel*>(object));
    if (className == u"ShelfContentView")
        return new ContentAccessible(static_cast<ShelfContentView*>(object));
    if (className == u"StackAreaView")
        return new PileAccessible(static_cast<StackAreaView*>(object));
    // The shelf's title and detail are texts, named by what they say.
    if (className == u"ElidedLabel")
        return new QAccessibleWidget(static_cast<ElidedLabel*>(object), QAccessible::StaticText);
    return nullptr;
}

} // namespace

namespace ShelfAccessible {

void install()
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
}

void contentChanged(ShelfContentView* view)
{
    if (!QAccessible::isActive() || !view)
        return;
    if (auto* content = dynamic_cast<ContentAccessible*>(QAccessible::queryAccessibleInterface(view)))
        content->sync();
}

QString shelfName(qsizetype count)
{
    return count == 0 ? QCoreApplication::translate("ShelfAccessible", "Empty shelf")
                      : QCoreApplication::translate("ShelfAccessible", "Shelf, %n items", nullptr, int(count));
}

QString pileName(const QList<ShelfItemPtr>& items)
{
    // Enough names to recognise the pile by; a reader does not want hundreds.
    constexpr qsizetype named = 3;
    constexpr qsizetype longestName = 60;
    QStringList names;
    for (qsizetype i = 0; i < std::min(named, items.size()); ++i) {
        const QString name = items[i]->displayName();
        names << (name.size() > longestName ? name.left(longestName - 1) + u'\u2026' : name);
    }
    if (items.size() > named)
        names << QStringLiteral("\u2026");
    return QCoreApplication::translate("ShelfAccessible", "%n items: %1", nullptr, int(items.size()))
        .arg(names.join(QCoreApplication::translate("ShelfAccessible", ", ", "between the names of files")));
}

} // namespace ShelfAccessible
