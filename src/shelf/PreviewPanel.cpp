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
#include <QStringDecoder>
#include <QVBoxLayout>
#include <QFutureInterface>

#include <optional>

namespace {

// How much of a text file the preview shows: its first bytes, at most so many
// lines of them, and long lines broken into pieces (the text view lays out
// every line it shows as a whole, on the UI thread).
constexpr qint64 maxTextBytes = 64 * 1024;
constexpr int maxTextLines = 1000;
constexpr qsizetype maxLineChars = 2000;
// The largest picture file the preview reads, the header it reads first to
// learn the picture's format and size, and the most pixels it decodes.
constexpr qint64 maxImageBytes = qint64(256) << 20;
constexpr qint64 imageHeadBytes = 64 * 1024;
constexpr qint64 maxImagePixels = qint64(16384) * 16384;

struct Loaded
{
    QString kind; // "image", "text" or "file"
    QImage image;
    QString text;
    qint64 shownBytes = 0; // how much of the file `text` holds
    bool cut = false;      // `text` is only the beginning of the file
    QString mimeType;
    std::optional<qint64> size; // of a regular file
};

// Where the first `lines` lines of UTF-8 text end (at LF, CR, CR LF, U+2028
// or U+2029): the offset of the last one's line break, or the size of the
// text when it has no more lines than that.
qsizetype endOfLines(const QByteArray& bytes, int lines)
{
    const auto at = [&](qsizetype i) { return i < bytes.size() ? uchar(bytes[i]) : uchar(0); };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = at(i);
        const bool breaks =
            c == '\n' || (c == '\r' && at(i + 1) != '\n') ||
            (c == 0xE2 && at(i + 1) == 0x80 && (at(i + 2) == 0xA8 || at(i + 2) == 0xA9));
        if (breaks && --lines == 0)
            return c == '\n' && i > 0 && at(i - 1) == '\r' ? i - 1 : i;
    }
    return bytes.size();
}

// The text the view shows for UTF-8 `bytes` (`whole`: the file's last bytes
// are among them): invalid sequences, control characters (NUL among them) and
// the code points the text view reserves for itself become U+FFFD, every line
// break becomes LF, and lines longer than maxLineChars are broken.
QString viewableText(const QByteArray& bytes, bool whole)
{
    // A sequence cut short where the read stopped is dropped rather than
    // shown as invalid.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           whole ? QStringDecoder::Flag::Stateless : QStringDecoder::Flag::Default);
    const QString decoded = decoder.decode(bytes);
    QString out;
    out.reserve(decoded.size() + decoded.size() / maxLineChars + 1);
    qsizetype column = 0;
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        QChar c = decoded[i];
        if (c == u'\r' && i + 1 < decoded.size() && decoded[i + 1] == u'\n')
            continue;
        if (c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u'\n';
        if (c == u'\n') {
            out += c;
            column = 0;
            continue;
        }
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t') || (u >= 0x7F && u < 0xA0) || c.isNonCharacter())
            c = QChar::ReplacementCharacter;
        if (column >= maxLineChars && !c.isLowSurrogate()) {
            out += u'\n';
            column = 0;
        }
        out += c;
        ++column;
    }
    return out;
}

// The beginning of a text file, bounded in bytes and lines, as the view
// shows it.
void loadText(const QByteArray& path, Loaded& out)
{
    std::optional<QByteArray> bytes = FileFacts::read(path, maxTextBytes + 1);
    if (!bytes)
        return;
    bool cut = bytes->size() > maxTextBytes;
    bytes->truncate(maxTextBytes);
    if (const qsizetype end = endOfLines(*bytes, maxTextLines); end < bytes->size()) {
        bytes->truncate(end);
        cut = true;
    }
    out.text = viewableText(*bytes, !cut);
    out.shownBytes = bytes->size();
    out.cut = cut;
    out.kind = QStringLiteral("text");
}

bool tooManyPixels(QSize size)
{
    return size.isValid() && qint64(size.width()) * size.height() > maxImagePixels;
}

// A picture scaled to fit `box` while it is decoded; null for a file that is
// no picture Qt can read, or one too large in bytes or pixels. The size from
// the file system decides first, then the format and size the header
// declares, and only then is the whole file read.
QImage loadImage(const QByteArray& path, qint64 size, QSize box)
{
    if (size > maxImageBytes)
        return {};
    std::optional<QByteArray> bytes = FileFacts::read(path, imageHeadBytes);
    if (!bytes)
        return {};
    QByteArray format;
    {
        QBuffer head;
        head.setData(*bytes);
        head.open(QIODevice::ReadOnly);
        QImageReader reader(&head);
        if (!reader.canRead() || tooManyPixels(reader.size()))
            return {};
        format = reader.format();
    }
    if (bytes->size() >= imageHeadBytes) {
        bytes = FileFacts::read(path, maxImageBytes + 1);
        if (!bytes || bytes->size() > maxImageBytes)
            return {};
    }
    QBuffer buffer;
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(true);
    // Asked again: some headers (JPEG's behind large metadata) lie beyond the
    // first bytes.
    const QSize declared = reader.size();
    if (tooManyPixels(declared))
        return {};
    if (declared.isValid() && (declared.width() > box.width() || declared.height() > box.height()))
        reader.setScaledSize(declared.scaled(box, Qt::KeepAspectRatio));
    return reader.read();
}

// Runs on a worker thread (the file may be on a stalled mount): decodes a
// picture or reads the beginning of a text file, and says what the file is.
Loaded load(const QByteArray& path, QSize box)
{
    Loaded out{QStringLiteral("file"), {}, {}, 0, false, {}, std::nullopt};
    const FileFacts facts = FileFacts::probe(path);
    out.mimeType = facts.mimeType;
    if (!facts.exists || facts.isDir || facts.mimeType.startsWith(u"inode/"))
        return out;
    out.size = facts.size;
    // Read into memory first, then decoded: see FileFacts::read().
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForName(facts.mimeType);
    if (type.name().startsWith(u"image/")) {
        out.image = loadImage(path, facts.size, box);
        if (!out.image.isNull())
            out.kind = QStringLiteral("image");
    } else if (type.inherits(QStringLiteral("text/plain"))) {
        loadText(path, out);
    }
    return out;
}

// What the line under a cut text says.
QString cutNote(const Loaded& loaded)
{
    const QLocale locale;
    const auto bytes = [&](qint64 n) {
        return locale.formattedDataSize(n, 1, QLocale::DataSizeSIFormat);
    };
    if (loaded.size && *loaded.size > loaded.shownBytes)
        return PreviewPanel::tr("Showing the first %1 of %2")
            .arg(bytes(loaded.shownBytes), bytes(*loaded.size));
    return PreviewPanel::tr("Showing only the beginning of the file");
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

void PreviewPanel::raiseAboveShelves()
{
    if (sharedPanel && sharedPanel->isVisible())
        sharedPanel->raise();
}

void PreviewPanel::destroyShared()
{
    delete sharedPanel;
    sharedPanel = nullptr;
}

// Above other windows, as the shelves are, and raised over them whenever one
// comes forward.
PreviewPanel::PreviewPanel()
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint), m_pages(new QStackedWidget),
      m_image(new QLabel), m_text(new QPlainTextEdit), m_note(new QLabel), m_icon(new QLabel),
      m_info(new QLabel), m_caption(new QLabel)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(tr("Preview"));
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setMinimumSize(1, 1);
    m_text->setReadOnly(true);
    m_text->setFocusPolicy(Qt::NoFocus);
    // Wrapped at the view's width: long lines laid out unwrapped cost
    // several times as much.
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text->setAccessibleName(tr("File contents"));
    m_note->setTextFormat(Qt::PlainText);
    m_note->setAlignment(Qt::AlignCenter);
    m_note->setAccessibleName(tr("Shown part of the file"));
    m_note->hide();
    auto* textPage = new QWidget;
    auto* textLayout = new QVBoxLayout(textPage);
    textLayout->setContentsMargins({});
    textLayout->addWidget(m_text, 1);
    textLayout->addWidget(m_note);
    m_icon->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    m_info->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_info->setTextFormat(Qt::PlainText);
    m_info->setWordWrap(true);
    auto* filePage = new QWidget;
    auto* fileLayout = new QVBoxLayout(filePage);
    fileLayout->addWidget(m_icon, 1);
    fileLayout->addWidget(m_info, 1);
    m_pages->addWidget(m_image);
    m_pages->addWidget(textPage);
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
    m_caption->setText(n > 1 ? tr("%1 (%L2 of %L3)").arg(name).arg(m_index + 1).arg(n) : name);
}

void PreviewPanel::showCurrent()
{
    const QUrl url = currentUrl();
    ++m_loadToken;
    m_shownUrl = url;
    m_loading = false;
    m_note->clear();
    if (url.isEmpty()) {
        m_kind = QStringLiteral("none");
        m_icon->clear();
        m_info->setText(tr("No item"));
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
    m_loading = true;
    const QSize box = m_pages->size().expandedTo(QSize(320, 240)) * devicePixelRatioF();
    auto* watcher = new QFutureWatcher<Loaded>(this);
    connect(watcher, &QFutureWatcher<Loaded>::finished, this, [this, watcher, token, name] {
        watcher->deleteLater();
        if (token != m_loadToken)
            return; // the user has moved on
        m_loading = false;
        const Loaded loaded = watcher->result();
        if (loaded.kind == u"image") {
            QPixmap pix = QPixmap::fromImage(loaded.image);
            pix.setDevicePixelRatio(devicePixelRatioF());
            m_image->setPixmap(pix);
            m_pages->setCurrentIndex(0);
        } else if (loaded.kind == u"text") {
            m_text->setPlainText(loaded.text);
            m_note->setText(loaded.cut ? cutNote(loaded) : QString());
            m_note->setVisible(loaded.cut);
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

QString PreviewPanel::shownText() const { return m_text->toPlainText(); }
QString PreviewPanel::shownNote() const { return m_note->text(); }
