#include "shelf/PreviewPanel.h"

#include "core/Background.h"
#include "core/NativePath.h"
#include "core/ProcessWide.h"
#include "core/FileFacts.h"
#include "platform/FileIcons.h"

#include <QBuffer>
#include <QFile>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QFutureInterface>


#include <optional>

namespace {

// How much of a text file the preview shows, and the largest picture it
// reads.
constexpr qint64 maxTextBytes = 512 * 1024;
constexpr qint64 maxImageBytes = qint64(256) << 20;

struct Loaded
{
    QString kind; // "image", "text" or "file"
    QImage image;
    QString text;
    QString mimeType;
    std::optional<qint64> size; // of a regular file
};

// Runs on a worker thread (the file may be on a stalled mount): decodes a
// picture (scaled to fit `box` while decoding) or reads the beginning of a
// text file, and says what the file is.
Loaded load(const QByteArray& path, QSize box)
{
    Loaded out{QStringLiteral("file"), {}, {}, {}, std::nullopt};
    const FileFacts facts = FileFacts::probe(path);
    out.mimeType = facts.mimeType;
    if (!facts.exists || facts.isDir || facts.mimeType.startsWith(u"inode/"))
        return out;
    out.size = facts.size;
    // Read into memory first, then decoded: see FileFacts::read().
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForName(facts.mimeType);
    if (type.name().startsWith(u"image/")) {
        const std::optional<QByteArray> bytes = FileFacts::read(path, maxImageBytes + 1);
        if (!bytes || bytes->size() > maxImageBytes)
            return out;
        QBuffer buffer;
        buffer.setData(*bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > box.width() || size.height() > box.height()))
            reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio));
        out.image = reader.read();
        if (!out.image.isNull())
            out.kind = QStringLiteral("image");
    } else if (type.inherits(QStringLiteral("text/plain"))) {
        if (const std::optional<QByteArray> bytes = FileFacts::read(path, maxTextBytes)) {
            out.text = QString::fromUtf8(*bytes);
            out.kind = QStringLiteral("text");
        }
    }
    return out;
}

QString fileDetails(const QString& name, const QString& mimeType, std::optional<qint64> size)
{
    static const QMimeDatabase db;
    QString details = name + u'\n' + db.mimeTypeForName(mimeType).comment();
    if (size)
        details += u'\n' + QLocale().formattedDataSize(*size, 1, QLocale::DataSizeSIFormat);
    return details;
}

PreviewPanel* sharedPanel = nullptr;

} // namespace

PreviewPanel* PreviewPanel::shared()
{
    if (!sharedPanel) {
        sharedPanel = new PreviewPanel;
        ProcessWide::atEnd(destroyShared);
    }
    return sharedPanel;
}

bool PreviewPanel::sharedExists() { return sharedPanel != nullptr; }

void PreviewPanel::destroyShared()
{
    delete sharedPanel;
    sharedPanel = nullptr;
}

PreviewPanel::PreviewPanel()
    : QWidget(nullptr, Qt::Window), m_pages(new QStackedWidget), m_image(new QLabel),
      m_text(new QPlainTextEdit), m_icon(new QLabel), m_info(new QLabel), m_caption(new QLabel)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Preview"));
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setMinimumSize(1, 1);
    m_text->setReadOnly(true);
    m_text->setFocusPolicy(Qt::NoFocus);
    m_icon->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    m_info->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_info->setTextFormat(Qt::PlainText);
    m_info->setWordWrap(true);
    auto* filePage = new QWidget;
    auto* fileLayout = new QVBoxLayout(filePage);
    fileLayout->addWidget(m_icon, 1);
    fileLayout->addWidget(m_info, 1);
    m_pages->addWidget(m_image);
    m_pages->addWidget(m_text);
    m_pages->addWidget(filePage);
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addWidget(m_caption);
    resize(720, 540);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void PreviewPanel::setDataSource(const DataSource& source)
{
    m_source = source;
    m_index = 0;
    showCurrent();
}

bool PreviewPanel::isControlledBy(const QObject* owner) const
{
    return m_source.owner && m_source.owner == owner;
}

int PreviewPanel::itemCount() const
{
    if (!m_source.owner || !m_source.count)
        return 0;
    return std::max(0, m_source.count());
}

QUrl PreviewPanel::currentUrl() const
{
    if (m_index < 0 || m_index >= itemCount() || !m_source.url)
        return {};
    return m_source.url(m_index);
}

void PreviewPanel::reloadData()
{
    const int n = itemCount();
    if (m_index >= n)
        m_index = std::max(0, n - 1);
    // The same item as before (the shelf only redrew, say for a new
    // picture): keep what is shown, only the count may have changed.
    if (!m_shownUrl.isEmpty() && currentUrl() == m_shownUrl) {
        showCaption();
        return;
    }
    showCurrent();
}

void PreviewPanel::release(const QObject* owner)
{
    if (!sharedPanel || !sharedPanel->isControlledBy(owner))
        return;
    sharedPanel->hide();
    sharedPanel->setDataSource({});
}

void PreviewPanel::setCurrentIndex(int index)
{
    const int n = itemCount();
    m_index = n == 0 ? 0 : std::clamp(index, 0, n - 1);
    showCurrent();
}

void PreviewPanel::showCaption()
{
    const int n = itemCount();
    const QString name = NativePath::displayName(NativePath::fromUrl(m_shownUrl));
    m_caption->setText(n > 1 ? QStringLiteral("%1 (%2 of %3)").arg(name).arg(m_index + 1).arg(n)
                             : name);
}

void PreviewPanel::showCurrent()
{
    const QUrl url = currentUrl();
    ++m_loadToken;
    m_shownUrl = url;
    if (url.isEmpty()) {
        m_kind = QStringLiteral("none");
        m_icon->clear();
        m_info->setText(QStringLiteral("No item"));
        m_caption->clear();
        m_pages->setCurrentIndex(2);
        return;
    }
    showCaption();

    // Until the file has been read off the UI thread: the icon its name
    // suggests, and the name.
    const QString name = NativePath::displayName(NativePath::fromUrl(url));
    const QString byName = FileIcons::typeForName(name);
    m_kind = QStringLiteral("file");
    m_icon->setPixmap(QPixmap::fromImage(FileIcons::iconForType(byName))
                          .scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_info->setText(name);
    m_pages->setCurrentIndex(2);

    const quint64 token = m_loadToken;
    const QSize box = m_pages->size().expandedTo(QSize(320, 240)) * devicePixelRatioF();
    auto* watcher = new QFutureWatcher<Loaded>(this);
    connect(watcher, &QFutureWatcher<Loaded>::finished, this, [this, watcher, token, name] {
        watcher->deleteLater();
        if (token != m_loadToken)
            return; // the user has moved on
        const Loaded loaded = watcher->result();
        if (loaded.kind == u"image") {
            QPixmap pix = QPixmap::fromImage(loaded.image);
            pix.setDevicePixelRatio(devicePixelRatioF());
            m_image->setPixmap(pix);
            m_pages->setCurrentIndex(0);
        } else if (loaded.kind == u"text") {
            m_text->setPlainText(loaded.text);
            m_pages->setCurrentIndex(1);
        } else {
            const QString type = loaded.mimeType.isEmpty() ? FileIcons::typeForName(name)
                                                           : loaded.mimeType;
            m_icon->setPixmap(QPixmap::fromImage(FileIcons::iconForType(type))
                                  .scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            m_info->setText(fileDetails(name, type, loaded.size));
        }
        m_kind = loaded.kind;
    });
    const QByteArray path = NativePath::fromUrl(url);
    QFutureInterface<Loaded> promise;
    promise.reportStarted();
    watcher->setFuture(promise.future());
    Background::run([promise, path, box]() mutable {
        promise.reportAndMoveResult(load(path, box));
        promise.reportFinished();
    });
}

void PreviewPanel::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Space:
    case Qt::Key_Escape:
        hide();
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        setCurrentIndex(m_index - 1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        setCurrentIndex(m_index + 1);
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}
