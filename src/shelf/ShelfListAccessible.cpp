#include "shelf/ShelfListAccessible.h"

#include "shelf/ShelfContentView.h"
#include "shelf/ShelfListView.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QHash>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace {

// At most this many items added at once are told one by one; a reader that
// heard of more would read them all at once, which a list of thousands of
// files must not cost. It finds the others when it reads the list.
constexpr qsizetype toldAtOnce = 64;

// The action names a reader calls; readers show them translated.
const QString openAction = QStringLiteral("Open");
const QString removeAction = QStringLiteral("Remove");
const QString revealAction = QStringLiteral("Show in File Manager");

class ItemInterface;

// The item interfaces made for one list, by item. A child of the list: it
// goes with it, and with it every interface it made.
class MadeItems : public QObject
{
public:
    explicit MadeItems(QWidget* list) : QObject(list), m_list(list) { all().insert(list, this); }
    ~MadeItems() override;

    static MadeItems* of(const QWidget* list, bool create)
    {
        MadeItems* made = all().value(list);
        if (!made && create)
            made = new MadeItems(const_cast<QWidget*>(list));
        return made;
    }

    // Lets an interface go, unless Qt's cache has already (at the end).
    static void release(QAccessible::Id id)
    {
        if (id && QAccessible::accessibleInterface(id))
            QAccessible::deleteAccessibleInterface(id);
    }

    QHash<const ShelfItem*, QAccessible::Id> ids;
    std::weak_ptr<ShelfItem> selected; // the item last told as selected

private:
    static QHash<const QWidget*, MadeItems*>& all()
    {
        static QHash<const QWidget*, MadeItems*> lists;
        return lists;
    }
    const QWidget* m_list;
};

ShelfListView* listOf(const QWidget* w)
{
    return qobject_cast<ShelfListView*>(const_cast<QWidget*>(w));
}

// The interface of the list's row for `index`, made on first request.
QAccessibleInterface* itemInterface(ShelfListView* list, qsizetype index);

class RemoveButtonInterface;

// One item of the list, with or without a row built for it.
class ItemInterface : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    ItemInterface(ShelfListView* list, const ShelfItemPtr& item) : m_list(list), m_item(item) {}

    ShelfItemPtr item() const { return m_item.lock(); }
    void retire() { m_retired = true; }

    // The item's index in the list, or -1 once it has left it.
    qsizetype index() const
    {
        const ShelfContentView* shelf = m_list ? m_list->content() : nullptr;
        const ShelfItemPtr item = m_item.lock();
        if (!shelf || !item)
            return -1;
        const QList<ShelfItemPtr>& listed = shelf->listedItems();
        if (m_indexHint >= 0 && m_indexHint < listed.size() && listed[m_indexHint] == item)
            return m_indexHint;
        m_indexHint = listed.indexOf(item);
        return m_indexHint;
    }

    bool isValid() const override { return !m_retired && m_list && !m_item.expired(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override
    {
        return m_list && m_list->window() ? m_list->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override
    {
        return m_list ? QAccessible::queryAccessibleInterface(m_list) : nullptr;
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int i) const override;
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child == button() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        QAccessibleInterface* b = child(0);
        return b && b->rect().contains(x, y) ? b : nullptr;
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QString text(QAccessible::Text t) const override
    {
        const ShelfItemPtr item = m_item.lock();
        if (!item)
            return {};
        switch (t) {
        case QAccessible::Name:
            return item->displayName();
        case QAccessible::Description:
            return ShelfListAccessible::describe(*item);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    // Where the row is (or would be) on the screen.
    QRect rect() const override
    {
        const qsizetype i = index();
        if (i < 0 || !m_list->widget())
            return {};
        const QWidget* doc = m_list->widget();
        return QRect(doc->mapToGlobal(QPoint(0, int(i) * ShelfContentView::rowH)),
                     QSize(doc->width(), ShelfContentView::rowH));
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = true;
        s.selectable = true;
        const qsizetype i = index();
        const ShelfContentView* shelf = m_list ? m_list->content() : nullptr;
        if (i < 0 || !shelf || !m_list->isVisible()) {
            s.invisible = true;
            return s;
        }
        if (shelf->selectedIndex() == i) {
            s.selected = true;
            s.focused = m_list->hasFocus();
        }
        // A row scrolled out of sight.
        const int top = int(i) * ShelfContentView::rowH - m_list->verticalScrollBar()->value();
        if (top + ShelfContentView::rowH <= 0 || top >= m_list->viewport()->height())
            s.offscreen = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                 : nullptr;
    }

    QStringList actionNames() const override { return {openAction, removeAction, revealAction}; }
    QString localizedActionName(const QString& name) const override
    {
        if (name == openAction)
            return QCoreApplication::translate("ShelfListAccessible", "Open");
        if (name == removeAction)
            return QCoreApplication::translate("ShelfListAccessible", "Remove");
        if (name == revealAction)
            return QCoreApplication::translate("ShelfListAccessible", "Show in File Manager");
        return QAccessibleActionInterface::localizedActionName(name);
    }
    QString localizedActionDescription(const QString& name) const override
    {
        if (name == openAction)
            return QCoreApplication::translate("ShelfListAccessible",
                                               "Opens the file with its application");
        if (name == removeAction)
            return QCoreApplication::translate(
                "ShelfListAccessible", "Takes the file off the shelf; the file stays where it is");
        if (name == revealAction)
            return QCoreApplication::translate("ShelfListAccessible",
                                               "Shows the file in its folder");
        return QAccessibleActionInterface::localizedActionDescription(name);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    void doAction(const QString& name) override
    {
        ShelfContentView* shelf = m_list ? m_list->content() : nullptr;
        const ShelfItemPtr item = m_item.lock();
        if (!isValid() || !shelf || !item || index() < 0)
            return;
        if (name == openAction)
            shelf->openItem(item);
        else if (name == revealAction)
            shelf->revealItem(item);
        else if (name == removeAction)
            shelf->removeItem(item); // the store's change retires this interface
    }

    QAccessibleInterface* button() const
    {
        return m_buttonId ? QAccessible::accessibleInterface(m_buttonId) : nullptr;
    }
    QAccessible::Id buttonId() const { return m_buttonId; }

    QPointer<ShelfListView> m_list;
    std::weak_ptr<ShelfItem> m_item;
    mutable qsizetype m_indexHint = -1;
    mutable QAccessible::Id m_buttonId = 0;
    bool m_retired = false;
};

// The button inside an item that takes it off the shelf: on screen on the
// selected or hovered row, always in the tree.
class RemoveButtonInterface : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    explicit RemoveButtonInterface(QAccessible::Id itemId) : m_itemId(itemId) {}

    ItemInterface* item() const
    {
        auto* iface = static_cast<ItemInterface*>(QAccessible::accessibleInterface(m_itemId));
        return iface && iface->isValid() ? iface : nullptr;
    }

    bool isValid() const override { return item() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return item() ? item()->window() : nullptr; }
    QAccessibleInterface* parent() const override { return item(); }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return {};
        return QCoreApplication::translate("ShelfListAccessible", "Remove from shelf");
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        const ItemInterface* owner = item();
        if (!owner)
            return {};
        const QRect row = owner->rect();
        return row.isNull() ? QRect() : QRect(row.right() + 1 - 30, row.top() + 10, 24, 24);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        const ItemInterface* owner = item();
        if (!owner)
            return s;
        const QAccessible::State row = owner->state();
        s.invisible = row.invisible;
        s.offscreen = row.offscreen;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                 : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    void doAction(const QString& name) override
    {
        if (name != pressAction())
            return;
        if (ItemInterface* owner = item())
            owner->doAction(removeAction);
    }

private:
    QAccessible::Id m_itemId;
};

MadeItems::~MadeItems()
{
    all().remove(m_list);
    for (QAccessible::Id id : std::as_const(ids)) {
        if (auto* item = static_cast<ItemInterface*>(QAccessible::accessibleInterface(id)))
            release(item->buttonId());
        release(id);
    }
}

QAccessibleInterface* ItemInterface::child(int i) const
{
    if (i != 0 || !isValid())
        return nullptr;
    if (!button()) {
        auto* self = const_cast<ItemInterface*>(this);
        m_buttonId = QAccessible::registerAccessibleInterface(
            new RemoveButtonInterface(QAccessible::uniqueId(self)));
    }
    return button();
}

QAccessibleInterface* itemInterface(ShelfListView* list, qsizetype index)
{
    const ShelfContentView* shelf = list ? list->content() : nullptr;
    if (!shelf || index < 0 || index >= shelf->listedItems().size())
        return nullptr;
    const ShelfItemPtr& item = shelf->listedItems()[index];
    MadeItems* made = MadeItems::of(list, true);
    if (QAccessible::Id id = made->ids.value(item.get())) {
        auto* iface = static_cast<ItemInterface*>(QAccessible::accessibleInterface(id));
        // The same address may belong to a new item once the old one went.
        if (iface && iface->isValid() && iface->item() == item)
            return iface;
        if (iface)
            MadeItems::release(iface->buttonId());
        MadeItems::release(id);
        made->ids.remove(item.get());
    }
    auto* iface = new ItemInterface(list, item);
    made->ids.insert(item.get(), QAccessible::registerAccessibleInterface(iface));
    return iface;
}

// The list itself: its children are the items, not the widgets that show
// them (the viewport, the rows built for now, the scroll bars).
class ListInterface : public QAccessibleWidget
{
public:
    explicit ListInterface(ShelfListView* list) : QAccessibleWidget(list, QAccessible::List) {}

    ShelfListView* list() const { return static_cast<ShelfListView*>(widget()); }
    qsizetype count() const
    {
        const ShelfContentView* shelf = list()->content();
        return shelf ? shelf->listedItems().size() : 0;
    }

    int childCount() const override { return int(std::min<qsizetype>(count(), INT_MAX)); }
    QAccessibleInterface* child(int i) const override { return itemInterface(list(), i); }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const QList<QAccessible::Id> ids = madeIds();
        for (const QAccessible::Id id : ids) {
            if (QAccessible::accessibleInterface(id) == child) {
                const auto* item = static_cast<const ItemInterface*>(child);
                return item->isValid() ? int(item->index()) : -1;
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QWidget* doc = list()->widget();
        const QWidget* viewport = list()->viewport();
        if (!doc || !viewport->rect().contains(viewport->mapFromGlobal(QPoint(x, y))))
            return nullptr;
        const int docY = doc->mapFromGlobal(QPoint(x, y)).y();
        return docY >= 0 ? itemInterface(list(), docY / ShelfContentView::rowH) : nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        const ShelfContentView* shelf = list()->content();
        if (!list()->hasFocus() || !shelf || shelf->selectedIndex() < 0)
            return nullptr;
        return itemInterface(list(), shelf->selectedIndex());
    }
    QString text(QAccessible::Text t) const override
    {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty())
            s = QCoreApplication::translate("ShelfListAccessible", "Items");
        return s;
    }

private:
    QList<QAccessible::Id> madeIds() const
    {
        const MadeItems* made = MadeItems::of(list(), false);
        return made ? made->ids.values() : QList<QAccessible::Id>();
    }
};

QAccessibleInterface* makeListInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String("ShelfListView") && object && object->isWidgetType())
        if (auto* list = qobject_cast<ShelfListView*>(object))
            return new ListInterface(list);
    return nullptr;
}

void tell(QAccessibleInterface* iface, QAccessible::Event type)
{
    if (!iface)
        return;
    QAccessibleEvent event(iface, type);
    QAccessible::updateAccessibility(&event);
}

} // namespace

namespace ShelfListAccessible {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(makeListInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

void itemsChanged(QWidget* w, const QList<ShelfItemPtr>& before,
                  const QList<ShelfItemPtr>& after)
{
    ShelfListView* list = listOf(w);
    MadeItems* made = list ? MadeItems::of(list, false) : nullptr;
    const bool active = QAccessible::isActive();
    const bool anyMade = made && !made->ids.isEmpty();
    // Nothing to let go, and nothing to tell: no reader, or a list just
    // opened (a reader reads it afresh).
    if (!list || (!anyMade && (!active || before.isEmpty())))
        return;

    QSet<const ShelfItem*> now;
    now.reserve(after.size());
    for (const ShelfItemPtr& item : after)
        now.insert(item.get());

    // Items gone: their interfaces are told of while they still answer, then
    // retired, and let go once the event loop is back (a reader's own call,
    // Remove, may be what took the item away).
    if (made) {
        QList<QAccessible::Id> gone;
        for (auto it = made->ids.begin(); it != made->ids.end();) {
            auto* iface = static_cast<ItemInterface*>(QAccessible::accessibleInterface(it.value()));
            const bool kept = iface && iface->isValid() && now.contains(it.key()) &&
                              iface->item().get() == it.key();
            if (kept) {
                ++it;
                continue;
            }
            if (iface && iface->isValid() && active)
                tell(iface, QAccessible::ObjectDestroyed);
            if (iface) {
                iface->retire();
                gone << iface->buttonId();
            }
            gone << it.value();
            it = made->ids.erase(it);
        }
        if (!gone.isEmpty()) {
            QTimer::singleShot(0, qApp, [gone] {
                for (QAccessible::Id id : gone)
                    MadeItems::release(id);
            });
        }
    }

    // Items new to a list that was on show already (one just opened is
    // read afresh).
    if (!active || before.isEmpty())
        return;
    QSet<const ShelfItem*> was;
    was.reserve(before.size());
    for (const ShelfItemPtr& item : before)
        was.insert(item.get());
    qsizetype told = 0;
    for (qsizetype i = 0; i < after.size() && told < toldAtOnce; ++i) {
        if (was.contains(after[i].get()))
            continue;
        tell(itemInterface(list, i), QAccessible::ObjectCreated);
        ++told;
    }
}

void selectionChanged(QWidget* w, qsizetype index)
{
    ShelfListView* list = listOf(w);
    if (!list || !QAccessible::isActive())
        return;
    MadeItems* made = MadeItems::of(list, true);
    if (const ShelfItemPtr was = made->selected.lock()) {
        const ShelfContentView* shelf = list->content();
        const qsizetype at = shelf ? shelf->listedItems().indexOf(was) : -1;
        if (at >= 0 && at != index)
            tell(itemInterface(list, at), QAccessible::SelectionRemove);
    }
    QAccessibleInterface* now = itemInterface(list, index);
    made->selected = now ? static_cast<ItemInterface*>(now)->item() : nullptr;
    if (!now)
        return;
    tell(now, QAccessible::Selection);
    if (list->hasFocus())
        tell(now, QAccessible::Focus);
}

void focusChanged(QWidget* w, qsizetype index)
{
    ShelfListView* list = listOf(w);
    if (!list || index < 0 || !QAccessible::isActive())
        return;
    // After Qt's own event for the list, which it sends once the focus has
    // moved: the reader then lands on the selected row.
    QPointer<ShelfListView> weak(list);
    QTimer::singleShot(0, list, [weak] {
        const ShelfContentView* shelf = weak ? weak->content() : nullptr;
        if (shelf && weak->hasFocus())
            tell(itemInterface(weak, shelf->selectedIndex()), QAccessible::Focus);
    });
}

qsizetype madeCount(const QWidget* list)
{
    const MadeItems* made = list ? MadeItems::of(list, false) : nullptr;
    return made ? made->ids.size() : 0;
}

QString describe(const ShelfItem& item)
{
    const std::optional<FileFacts>& facts = item.facts();
    static const QMimeDatabase db;
    const QString type = facts && facts->exists && !facts->mimeType.isEmpty() ? facts->mimeType
                                                                            : item.mimeType();
    const QString kind = db.mimeTypeForName(type).comment();
    // A folder's size is what is in it, which is not counted here.
    if (!facts || !facts->exists || facts->isDir)
        return kind;
    const QString size = QLocale().formattedDataSize(facts->size, 1, QLocale::DataSizeSIFormat);
    if (kind.isEmpty())
        return size;
    //: An item of the list read aloud: its kind, then its size ("PNG image, 9.1 MB").
    return QCoreApplication::translate("ShelfListAccessible", "%1, %2").arg(kind, size);
}

} // namespace ShelfListAccessible
