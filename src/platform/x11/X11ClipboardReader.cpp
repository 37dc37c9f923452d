#include "platform/x11/X11ClipboardReader.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

namespace {

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <class T> Reply<T> reply(T* r) { return Reply<T>(r, &std::free); }

} // namespace

// Lives on the reader's thread and owns its X connection. One job at a time:
// a look at the owner's TARGETS after a change of owner, or a read (TARGETS,
// then the chosen formats one after the other). Each job asks from a window
// of its own, so that an answer that comes too late for an earlier job is
// never taken for one of a later job.
class X11ClipboardReader::Worker : public QObject
{
public:
    explicit Worker(X11ClipboardReader* owner) : m_owner(owner) {}
    ~Worker() override
    {
        if (m_connection)
            xcb_disconnect(m_connection);
    }

    void start();
    void enqueueRead(Choice choose, quint64 id);

private:
    struct Job
    {
        bool lookOnly = true; // only for formats()
        quint64 id = 0;
        Choice choose;
        QList<xcb_atom_t> targets; // to convert, from `next` on
        QStringList names; // the format each target gives
        qsizetype next = 0;
        bool listed = false; // TARGETS has come
        bool incr = false; // the current target comes in INCR pieces
        QByteArray piece; // what of it has come
        qint64 total = 0;
        xcb_window_t window = XCB_NONE;
        Result result;
    };

    xcb_atom_t intern(const char* name);
    QByteArray atomName(xcb_atom_t atom);
    void drain();
    void handle(const xcb_generic_event_t* event);
    void ownerChanged(xcb_window_t owner);
    void startNext();
    void convertNext();
    void selectionNotified(const xcb_selection_notify_event_t* e);
    void propertyChanged(const xcb_property_notify_event_t* e);
    // Reads the whole property (and deletes it): its bytes and type, or
    // nothing when it is over the size limit.
    bool takeProperty(QByteArray* bytes, xcb_atom_t* type);
    void targetDone(const QByteArray& bytes);
    // Takes the owner's list; answers whether the job goes on to read.
    bool listed(const QByteArray& atoms);
    void finish(Failure failure);

    X11ClipboardReader* m_owner;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    quint8 m_notifyType = 0;
    xcb_atom_t m_clipboard = 0, m_targets = 0, m_incr = 0, m_utf8 = 0, m_text = 0, m_property = 0;
    QHash<xcb_atom_t, QByteArray> m_names;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_stall = nullptr;
    QTimer* m_overall = nullptr;
    std::deque<Job> m_jobs; // the first one runs
    bool m_running = false;
};

xcb_atom_t X11ClipboardReader::Worker::intern(const char* name)
{
    auto r = reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return r ? r->atom : XCB_NONE;
}

QByteArray X11ClipboardReader::Worker::atomName(xcb_atom_t atom)
{
    const auto known = m_names.constFind(atom);
    if (known != m_names.cend())
        return *known;
    auto r = reply(xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom),
                                           nullptr));
    QByteArray name;
    if (r)
        name = QByteArray(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
    m_names.insert(atom, name);
    return name;
}

void X11ClipboardReader::Worker::start()
{
    m_stall = new QTimer(this);
    m_stall->setSingleShot(true);
    m_stall->setInterval(stallMs);
    connect(m_stall, &QTimer::timeout, this, [this] { finish(Failure::Stalled); });
    m_overall = new QTimer(this);
    m_overall->setSingleShot(true);
    m_overall->setInterval(overallMs);
    connect(m_overall, &QTimer::timeout, this, [this] { finish(Failure::TooSlow); });

    int screen = 0;
    m_connection = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; it.rem > 0 && i < screen; ++i)
        xcb_screen_next(&it);
    m_root = it.rem > 0 ? it.data->root : XCB_NONE;
    m_clipboard = intern("CLIPBOARD");
    m_targets = intern("TARGETS");
    m_incr = intern("INCR");
    m_utf8 = intern("UTF8_STRING");
    m_text = intern("TEXT");
    m_property = intern("KAVO_CLIPBOARD");

    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_connection, &xcb_xfixes_id);
    auto version = ext && ext->present
                       ? reply(xcb_xfixes_query_version_reply(
                             m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr))
                       : reply<xcb_xfixes_query_version_reply_t>(nullptr);
    if (version && version->major_version >= 1 && m_root != XCB_NONE) {
        m_notifyType = quint8(ext->first_event + XCB_XFIXES_SELECTION_NOTIFY);
        xcb_xfixes_select_selection_input(
            m_connection, m_root, m_clipboard,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection),
                                     QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Worker::drain);

    // Asked after selecting the notifications, so no change falls between.
    auto owner = reply(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr));
    ownerChanged(owner ? owner->owner : XCB_NONE);
    drain();
}

void X11ClipboardReader::Worker::drain()
{
    if (!m_connection)
        return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        handle(event);
        std::free(event);
    }
    xcb_flush(m_connection);
    if (xcb_connection_has_error(m_connection)) {
        // The display went away: nothing more can be read.
        m_notifier->setEnabled(false);
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        while (!m_jobs.empty())
            finish(Failure::Empty);
    }
}

void X11ClipboardReader::Worker::handle(const xcb_generic_event_t* event)
{
    const quint8 type = event->response_type & 0x7f;
    if (m_notifyType != 0 && type == m_notifyType) {
        const auto* e = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
        if (e->selection == m_clipboard)
            ownerChanged(e->owner);
    } else if (type == XCB_SELECTION_NOTIFY) {
        selectionNotified(reinterpret_cast<const xcb_selection_notify_event_t*>(event));
    } else if (type == XCB_PROPERTY_NOTIFY) {
        propertyChanged(reinterpret_cast<const xcb_property_notify_event_t*>(event));
    }
}

void X11ClipboardReader::Worker::ownerChanged(xcb_window_t owner)
{
    // What the last owner offered is gone; the new one is asked once.
    QMetaObject::invokeMethod(m_owner, [o = m_owner] { o->setFormats({}); }, Qt::QueuedConnection);
    if (owner == XCB_NONE)
        return;
    for (std::size_t i = m_running ? 1 : 0; i < m_jobs.size(); ++i) {
        if (m_jobs[i].lookOnly)
            return; // one look, not yet begun, is enough
    }
    m_jobs.push_back(Job{});
    if (!m_running)
        startNext();
}

void X11ClipboardReader::Worker::enqueueRead(Choice choose, quint64 id)
{
    Job job;
    job.lookOnly = false;
    job.id = id;
    job.choose = std::move(choose);
    m_jobs.push_back(std::move(job));
    if (!m_connection) {
        finish(Failure::Empty);
        return;
    }
    if (!m_running)
        startNext();
}

void X11ClipboardReader::Worker::startNext()
{
    if (m_jobs.empty() || !m_connection)
        return;
    m_running = true;
    Job& job = m_jobs.front();
    job.window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, job.window, m_root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    job.targets = {m_targets};
    job.names = {QString()};
    m_overall->start();
    convertNext();
}

void X11ClipboardReader::Worker::convertNext()
{
    Job& job = m_jobs.front();
    if (job.next >= job.targets.size()) {
        finish(job.result.offered.isEmpty() ? Failure::Empty : Failure::None);
        return;
    }
    job.incr = false;
    job.piece.clear();
    xcb_convert_selection(m_connection, job.window, m_clipboard, job.targets[job.next], m_property,
                          XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    m_stall->start();
}

bool X11ClipboardReader::Worker::takeProperty(QByteArray* bytes, xcb_atom_t* type)
{
    Job& job = m_jobs.front();
    // Its size first, so that nothing over the limit is ever transferred.
    auto size = reply(xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, job.window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        nullptr));
    if (!size) {
        *type = XCB_NONE;
        return true;
    }
    *type = size->type;
    qint64 length = size->bytes_after;
    bool fits = job.total + job.piece.size() + length <= maxBytes;
    if (job.next == 0) {
        // Of a list of formats, no more than are looked at.
        length = std::min<qint64>(length, 4 * maxFormats);
        fits = true;
    }
    if (fits && length > 0) {
        auto all = reply(xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, job.window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                             uint32_t((length + 3) / 4)),
            nullptr));
        if (all) {
            const int n = xcb_get_property_value_length(all.get());
            bytes->append(static_cast<const char*>(xcb_get_property_value(all.get())), n);
            fits = fits && job.total + job.piece.size() + n <= maxBytes;
        }
    }
    xcb_delete_property(m_connection, job.window, m_property);
    xcb_flush(m_connection);
    return fits;
}

void X11ClipboardReader::Worker::selectionNotified(const xcb_selection_notify_event_t* e)
{
    if (!m_running || m_jobs.front().window != e->requestor || e->selection != m_clipboard)
        return;
    Job& job = m_jobs.front();
    if (job.incr || e->target != job.targets[job.next])
        return;
    if (e->property == XCB_NONE) {
        // Refused: the owner lists a format it cannot give, or TARGETS.
        if (job.next == 0) {
            finish(Failure::Empty);
            return;
        }
        ++job.next;
        convertNext();
        return;
    }
    QByteArray bytes;
    xcb_atom_t type = XCB_NONE;
    if (!takeProperty(&bytes, &type)) {
        finish(Failure::TooLarge);
        return;
    }
    if (type == m_incr) {
        // The owner sends it in pieces, each after the last one is taken
        // (the property's deletion just now asks for the first).
        job.incr = true;
        m_stall->start();
        return;
    }
    targetDone(bytes);
}

void X11ClipboardReader::Worker::propertyChanged(const xcb_property_notify_event_t* e)
{
    if (!m_running || e->window != m_jobs.front().window || e->atom != m_property ||
        e->state != XCB_PROPERTY_NEW_VALUE || !m_jobs.front().incr)
        return;
    Job& job = m_jobs.front();
    QByteArray bytes;
    xcb_atom_t type = XCB_NONE;
    if (!takeProperty(&bytes, &type)) {
        finish(Failure::TooLarge);
        return;
    }
    job.piece += bytes;
    // The end, or as much of a list of formats as is looked at.
    if (bytes.isEmpty() || (job.next == 0 && job.piece.size() >= 4 * maxFormats)) {
        targetDone(job.piece);
        return;
    }
    m_stall->start();
}

void X11ClipboardReader::Worker::targetDone(const QByteArray& bytes)
{
    Job& job = m_jobs.front();
    if (job.next == 0) {
        if (!listed(bytes))
            return;
    } else {
        const QString& name = job.names[job.next];
        const xcb_atom_t target = job.targets[job.next];
        // Qt's "text/plain" from ICCCM's Latin-1 strings is their UTF-8.
        const bool latin1 = name == u"text/plain" && target != m_utf8 &&
                            (target == XCB_ATOM_STRING || target == m_text);
        const QByteArray data = latin1 ? QString::fromLatin1(bytes).toUtf8() : bytes;
        job.total += bytes.size();
        job.result.data.append({name, data});
    }
    ++job.next;
    convertNext();
}

bool X11ClipboardReader::Worker::listed(const QByteArray& atoms)
{
    Job& job = m_jobs.front();
    QList<xcb_atom_t> offered;
    const qsizetype count = std::min<qsizetype>(atoms.size() / 4, maxFormats);
    for (qsizetype i = 0; i < count; ++i) {
        xcb_atom_t atom;
        std::memcpy(&atom, atoms.constData() + 4 * i, 4);
        offered << atom;
    }
    // The names Qt's QMimeData gives: ICCCM's strings are "text/plain";
    // of the rest only MIME types (TARGETS, TIMESTAMP, MULTIPLE are none).
    QHash<QString, xcb_atom_t> atomOf;
    QStringList formats;
    // Where several atoms give "text/plain", the one Qt would read: UTF-8,
    // then Latin-1 (STRING, TEXT), then a "text/plain" atom of that name.
    const auto plainRank = [this](xcb_atom_t atom) {
        return atom == m_utf8 ? 0 : atom == XCB_ATOM_STRING ? 1 : atom == m_text ? 2 : 3;
    };
    for (const xcb_atom_t atom : std::as_const(offered)) {
        const bool icccm = atom == m_utf8 || atom == XCB_ATOM_STRING || atom == m_text;
        const QString name =
            icccm ? QStringLiteral("text/plain") : QString::fromLatin1(atomName(atom));
        if (!name.contains(u'/'))
            continue; // TARGETS, TIMESTAMP, MULTIPLE and the like
        const xcb_atom_t had = atomOf.value(name, XCB_NONE);
        if (had == XCB_NONE || (name == u"text/plain" && plainRank(atom) < plainRank(had)))
            atomOf.insert(name, atom);
        if (!formats.contains(name))
            formats << name;
    }
    job.result.offered = formats;
    QMetaObject::invokeMethod(m_owner, [o = m_owner, formats] { o->setFormats(formats); },
                              Qt::QueuedConnection);
    if (job.lookOnly || formats.isEmpty()) {
        finish(formats.isEmpty() ? Failure::Empty : Failure::None);
        return false;
    }
    for (const QString& name : job.choose(formats)) {
        const xcb_atom_t atom = atomOf.value(name, XCB_NONE);
        if (atom != XCB_NONE) {
            job.targets << atom;
            job.names << name;
        }
    }
    return true;
}

void X11ClipboardReader::Worker::finish(Failure failure)
{
    if (m_jobs.empty())
        return;
    m_stall->stop();
    m_overall->stop();
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    m_running = false;
    if (m_connection && job.window != XCB_NONE && !xcb_connection_has_error(m_connection)) {
        xcb_destroy_window(m_connection, job.window);
        xcb_flush(m_connection);
    }
    if (!job.lookOnly) {
        job.result.failure = failure;
        if (failure != Failure::None)
            job.result.data.clear();
        QMetaObject::invokeMethod(
            m_owner, [o = m_owner, id = job.id, r = job.result] { o->finished(id, r); },
            Qt::QueuedConnection);
    }
    startNext();
}

X11ClipboardReader::X11ClipboardReader() : m_thread(new QThread(this)), m_worker(new Worker(this))
{
    m_thread->setObjectName(QStringLiteral("Kavo clipboard"));
    m_worker->moveToThread(m_thread);
    m_thread->start();
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->start(); }, Qt::QueuedConnection);
}

X11ClipboardReader::~X11ClipboardReader()
{
    // Ended on its own thread, which owns its timers and connection; it
    // waits on nothing of this thread's.
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { delete w; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

void X11ClipboardReader::setFormats(const QStringList& formats)
{
    if (formats == m_formats)
        return;
    m_formats = formats;
    Q_EMIT formatsChanged();
}

void X11ClipboardReader::read(Choice choose, QObject* context,
                              std::function<void(const Result&)> done)
{
    const quint64 id = ++m_lastId;
    m_pending.insert(id, {QPointer<QObject>(context), context != nullptr, std::move(done)});
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker, choose = std::move(choose), id] { w->enqueueRead(choose, id); },
        Qt::QueuedConnection);
}

void X11ClipboardReader::finished(quint64 id, const Result& result)
{
    const Pending pending = m_pending.take(id);
    if (pending.done && (!pending.hadContext || pending.context))
        pending.done(result);
}
