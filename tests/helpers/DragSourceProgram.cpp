// kavo-test-drag-source: a window that tests drag from with xdotool.
//
//   kavo-test-drag-source [--geometry X,Y] [--move] FILE...
//       A press and a move in the window drags the files' URLs, offering
//       copy, move and link (move preferred with --move).
//   kavo-test-drag-source [--geometry X,Y] --direct-save NAME --content TEXT
//       The drag offers only XdndDirectSave0 (copy): NAME goes into the
//       XdndDirectSave0 property of the XdndSelection owner when the drag
//       starts; when the target asks for the XdndDirectSave0 data, the file
//       URI it wrote into the property gets TEXT, and the answer is "S" (or
//       "F" when that fails).
//
// Lines on stdout: "ready X Y W H" once the window is on screen (its global
// geometry), "started" when a drag begins, "offered NAME" once the name is in
// the property, "saved PATH" / "failed REASON" for each Direct Save request,
// "result ACTION" (copy, move, link, ignore) when a drag ends.
#include "HelperWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(const char* name)
{
    xcb_connection_t* c = connection();
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return a;
}

xcb_window_t dragSelectionOwner()
{
    xcb_connection_t* c = connection();
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, atom("XdndSelection")), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

void writeDirectSaveProperty(xcb_window_t window, const QByteArray& value)
{
    xcb_connection_t* c = connection();
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom("XdndDirectSave0"),
                        atom("text/plain"), 8, uint32_t(value.size()), value.constData());
    xcb_flush(c);
}

QByteArray readDirectSaveProperty(xcb_window_t window)
{
    xcb_connection_t* c = connection();
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c,
                               xcb_get_property(c, 0, window, atom("XdndDirectSave0"),
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 16384),
                               nullptr);
    QByteArray value;
    if (reply && reply->format == 8)
        value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    std::free(reply);
    return value;
}

// Drag data that writes its file only when the target asks for it.
class DirectSaveData final : public QMimeData
{
public:
    explicit DirectSaveData(QByteArray content) : m_content(std::move(content)) {}

    QStringList formats() const override { return {QStringLiteral("XdndDirectSave0")}; }
    bool hasFormat(const QString& format) const override
    {
        return format == QLatin1String("XdndDirectSave0");
    }

protected:
    QVariant retrieveData(const QString& format, QMetaType) const override
    {
        if (format != QLatin1String("XdndDirectSave0"))
            return {};
        return QByteArray(save() ? "S" : "F");
    }

private:
    bool save() const
    {
        const xcb_window_t owner = dragSelectionOwner();
        const QByteArray uri = readDirectSaveProperty(owner).trimmed();
        const QUrl url = QUrl::fromEncoded(uri);
        if (!url.isLocalFile()) {
            say(QStringLiteral("failed not a file URI: ") + QString::fromUtf8(uri));
            return false;
        }
        QFile file(url.toLocalFile());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(m_content) != m_content.size() || !file.flush()) {
            say(QStringLiteral("failed ") + file.errorString());
            return false;
        }
        say(QStringLiteral("saved ") + file.fileName());
        return true;
    }

    QByteArray m_content;
};

struct Options
{
    QPoint position{100, 100};
    bool preferMove = false;
    QList<QUrl> urls;
    bool directSave = false;
    QString directSaveName;
    QByteArray content;
};

class DragSourceWindow final : public QWidget
{
public:
    explicit DragSourceWindow(Options options) : m_options(std::move(options))
    {
        setWindowTitle(QStringLiteral("kavo-test-drag-source"));
        setFixedSize(200, 150);
        move(m_options.position);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        paintHelperWindow(this, QColor(0x30, 0x60, 0xa0), QStringLiteral("drag source"), &m_announced);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            m_pressAt = event->position().toPoint();
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!(event->buttons() & Qt::LeftButton) || m_dragging)
            return;
        if ((event->position().toPoint() - m_pressAt).manhattanLength() <
            QApplication::startDragDistance())
            return;
        m_dragging = true;
        startDrag();
        m_dragging = false;
    }

private:
    void startDrag()
    {
        auto* drag = new QDrag(this);
        QPixmap picture(32, 32);
        picture.fill(QColor(0xe0, 0x80, 0x20));
        drag->setPixmap(picture);
        say(QStringLiteral("started"));
        Qt::DropAction result = Qt::IgnoreAction;
        if (m_options.directSave) {
            drag->setMimeData(new DirectSaveData(m_options.content));
            // The drag selection belongs to this process once exec() runs.
            QTimer::singleShot(0, this, [this] { offerName(50); });
            result = drag->exec(Qt::CopyAction, Qt::CopyAction);
        } else {
            auto* data = new QMimeData;
            data->setUrls(m_options.urls);
            drag->setMimeData(data);
            result = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction,
                                m_options.preferMove ? Qt::MoveAction : Qt::CopyAction);
        }
        say(QStringLiteral("result ") + actionName(result));
    }

    void offerName(int attemptsLeft)
    {
        const xcb_window_t owner = dragSelectionOwner();
        if (owner == XCB_NONE) {
            if (attemptsLeft > 0)
                QTimer::singleShot(10, this, [this, attemptsLeft] { offerName(attemptsLeft - 1); });
            else
                say(QStringLiteral("failed no drag selection owner"));
            return;
        }
        writeDirectSaveProperty(owner, m_options.directSaveName.toUtf8());
        say(QStringLiteral("offered ") + m_options.directSaveName);
    }

    Options m_options;
    QPoint m_pressAt;
    bool m_dragging = false;
    bool m_announced = false;
};

} // namespace

int main(int argc, char** argv)
{
    bool geometryValid = true;
    const std::optional<QPoint> position = takeGeometry(argc, argv, geometryValid);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A drag source for Kavo's tests."));
    parser.addHelpOption();
    const QCommandLineOption geometry(QStringLiteral("geometry"),
                                      QStringLiteral("Window position."), QStringLiteral("X,Y"));
    const QCommandLineOption move(QStringLiteral("move"), QStringLiteral("Prefer moving."));
    const QCommandLineOption directSave(QStringLiteral("direct-save"),
                                        QStringLiteral("Drag as an X Direct Save source."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption content(QStringLiteral("content"),
                                     QStringLiteral("What the Direct Save source writes."),
                                     QStringLiteral("TEXT"));
    parser.addOptions({geometry, move, directSave, content});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Files to drag."),
                                 QStringLiteral("[FILE...]"));
    parser.process(app);

    if (QGuiApplication::platformName() != QLatin1String("xcb") || !connection()) {
        say(QStringLiteral("error needs the xcb platform"));
        return 2;
    }
    if (!geometryValid) {
        say(QStringLiteral("error --geometry takes X,Y"));
        return 2;
    }
    Options options;
    if (position)
        options.position = *position;
    options.preferMove = parser.isSet(move);
    options.directSave = parser.isSet(directSave);
    if (options.directSave) {
        options.directSaveName = parser.value(directSave);
        options.content = parser.value(content).toUtf8();
    } else {
        for (const QString& path : parser.positionalArguments())
            options.urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
        if (options.urls.isEmpty()) {
            say(QStringLiteral("error no files to drag"));
            return 2;
        }
    }

    DragSourceWindow window(std::move(options));
    window.show();
    return app.exec();
}
