#include "platform/ClipboardReader.h"

#include "core/ProcessWide.h"

#include "platform/x11/X11ClipboardReader.h"
#include "platform/x11/X11Util.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

namespace {

// Qt's own clipboard where it needs no other program's answer: the
// offscreen platform's, which lives in this process.
class QtClipboardReader final : public ClipboardReader
{
public:
    QtClipboardReader()
    {
        if (auto* app = qGuiApp)
            connect(app->clipboard(), &QClipboard::dataChanged, this,
                    &ClipboardReader::formatsChanged);
    }

    QStringList formats() const override
    {
        const QMimeData* mime = qGuiApp ? qGuiApp->clipboard()->mimeData() : nullptr;
        return mime ? mime->formats().mid(0, maxFormats) : QStringList();
    }

    void read(Choice choose, QObject* context, std::function<void(const Result&)> done) override
    {
        Result result;
        result.offered = formats();
        if (result.offered.isEmpty()) {
            result.failure = Failure::Empty;
        } else {
            const QMimeData* mime = qGuiApp->clipboard()->mimeData();
            qint64 total = 0;
            for (const QString& format : choose(result.offered)) {
                const QByteArray bytes = mime->data(format);
                total += bytes.size();
                if (total > maxBytes) {
                    result.data.clear();
                    result.failure = Failure::TooLarge;
                    break;
                }
                if (!bytes.isNull())
                    result.data.append({format, bytes});
            }
        }
        // As a read of another program's clipboard would: later.
        QPointer<QObject> alive(context);
        QMetaObject::invokeMethod(
            this,
            [alive, hadContext = context != nullptr, done = std::move(done), result] {
                if (!hadContext || alive)
                    done(result);
            },
            Qt::QueuedConnection);
    }
};

} // namespace

ClipboardReader* ClipboardReader::shared()
{
    static QPointer<ClipboardReader> reader;
    if (!reader) {
        if (X11Util::connection())
            reader = new X11ClipboardReader;
        else
            reader = new QtClipboardReader;
        // Ended (with its thread) while the application still runs, or with
        // the application where nothing ends the process-wide objects.
        reader->setParent(QCoreApplication::instance());
        ProcessWide::atEnd([] { delete reader.data(); });
    }
    return reader;
}
