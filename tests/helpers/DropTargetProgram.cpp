// kavo-test-drop-target: a window that accepts file drops for the tests.
//
//   kavo-test-drop-target [--geometry X,Y] [--move [--into DIR]] [--copy]
//
// Without options a drop is accepted with the action the source proposes;
// --copy accepts it as a copy, --move as a move. With --into DIR a move really
// moves the dropped local files into DIR.
//
// Lines on stdout: "ready X Y W H" once the window is on screen, then per
// drop "offered ACTIONS" (the source's, comma-separated), "dropped URL" per
// URL, "moved PATH" / "failed PATH" per moved file, "action ACTION" (the
// accepted one: copy, move, link, ignore).
#include "HelperWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <QWidget>

namespace {

struct Options
{
    QPoint position{400, 100};
    Qt::DropAction forced = Qt::IgnoreAction; // IgnoreAction: the proposed one
    QString into;
};

class DropTargetWindow final : public QWidget
{
public:
    explicit DropTargetWindow(Options options) : m_options(std::move(options))
    {
        setWindowTitle(QStringLiteral("kavo-test-drop-target"));
        setFixedSize(200, 150);
        setAcceptDrops(true);
        move(m_options.position);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        paintHelperWindow(this, QColor(0x30, 0x90, 0x50), QStringLiteral("drop target"), &m_announced);
    }

    void dragEnterEvent(QDragEnterEvent* event) override { answer(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { answer(event); }

    void dropEvent(QDropEvent* event) override
    {
        if (!answer(event))
            return;
        say(QStringLiteral("offered ") + actionNames(event->possibleActions()));
        const QList<QUrl> urls = event->mimeData()->urls();
        for (const QUrl& url : urls)
            say(QStringLiteral("dropped ") + QString::fromUtf8(url.toEncoded()));
        if (event->dropAction() == Qt::MoveAction && !m_options.into.isEmpty()) {
            for (const QUrl& url : urls) {
                if (!url.isLocalFile())
                    continue;
                const QString from = url.toLocalFile();
                const QString to = QDir(m_options.into).filePath(QFileInfo(from).fileName());
                // QFile::rename copies and removes when the folders are on
                // different file systems.
                if (QFile::rename(from, to))
                    say(QStringLiteral("moved ") + to);
                else
                    say(QStringLiteral("failed ") + from);
            }
        }
        say(QStringLiteral("action ") + actionName(event->dropAction()));
    }

private:
    // Accepts drags that carry URLs with the configured action; answers
    // whether the drag was accepted.
    bool answer(QDropEvent* event)
    {
        if (!event->mimeData()->hasUrls()) {
            event->ignore();
            return false;
        }
        if (m_options.forced == Qt::IgnoreAction) {
            event->acceptProposedAction();
            return true;
        }
        if (!(event->possibleActions() & m_options.forced)) {
            event->ignore();
            return false;
        }
        event->setDropAction(m_options.forced);
        event->accept();
        return true;
    }

    Options m_options;
    bool m_announced = false;
};

} // namespace

int main(int argc, char** argv)
{
    bool geometryValid = true;
    const std::optional<QPoint> position = takeGeometry(argc, argv, geometryValid);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A drop target for Kavo's tests."));
    parser.addHelpOption();
    const QCommandLineOption geometry(QStringLiteral("geometry"),
                                      QStringLiteral("Window position."), QStringLiteral("X,Y"));
    const QCommandLineOption move(QStringLiteral("move"), QStringLiteral("Accept as a move."));
    const QCommandLineOption copy(QStringLiteral("copy"), QStringLiteral("Accept as a copy."));
    const QCommandLineOption into(QStringLiteral("into"),
                                  QStringLiteral("Folder that moved files go to."),
                                  QStringLiteral("DIR"));
    parser.addOptions({geometry, move, copy, into});
    parser.process(app);

    if (!geometryValid) {
        say(QStringLiteral("error --geometry takes X,Y"));
        return 2;
    }
    Options options;
    if (position)
        options.position = *position;
    if (parser.isSet(move) && parser.isSet(copy)) {
        say(QStringLiteral("error --move and --copy exclude each other"));
        return 2;
    }
    if (parser.isSet(move))
        options.forced = Qt::MoveAction;
    else if (parser.isSet(copy))
        options.forced = Qt::CopyAction;
    if (parser.isSet(into)) {
        options.into = parser.value(into);
        if (!QFileInfo(options.into).isDir()) {
            say(QStringLiteral("error --into needs an existing folder"));
            return 2;
        }
    }

    DropTargetWindow window(std::move(options));
    window.show();
    return app.exec();
}
