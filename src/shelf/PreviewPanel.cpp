#include "shelf/PreviewPanel.h"

#include "platform/FileIcons.h"

#include <QFile>
#include <QFileInfo>
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
#include <QtConcurrent>

namespace {

// How much of a text file the preview shows.
constexpr qint64 maxTextBytes = 512 * 1024;

struct Loaded
{
    QString kind; // "image", "text" or "file"
    QImage image;
    QString text;
};

// Runs on a worker thread: decodes a picture (scaled to fit `box` while
// decoding) or reads the beginning of a text file.
Loaded load(const QString& path, QSize box)
{
    Loaded out{QStringLiteral("file"), {}, {}};
    const QFileInfo info(path);
    if (!info.isFile())
        return out;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (reader.canRead()) {
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > box.width() || size.height() > box.height()))
            reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio));
        out.image = reader.read();
        if (!out.image.isNull()) {
            out.kind = QStringLiteral("image");
            return out;
        }
    }
    static const QMimeDatabase db;
    if (db.mimeTypeForFile(info).inherits(QStringLiteral("text/plain"))) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            out.text = QString::fromUtf8(f.read(maxTextBytes));
            out.kind = QStringLiteral("text");
        }
    }
    return out;
}

PreviewPanel* sharedPanel = nullptr;

} // namespace

PreviewPanel* PreviewPanel::shared()
{
    if (!sharedPanel)
        sharedPanel = new PreviewPanel;
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
    showCurrent();
}

void PreviewPanel::setCurrentIndex(int index)
{
    const int n = itemCount();
    m_index = n == 0 ? 0 : std::clamp(index, 0, n - 1);
    showCurrent();
}

void PreviewPanel::showCurrent()
{
    const QUrl url = currentUrl();
    const int n = itemCount();
    ++m_loadToken;
    if (url.isEmpty()) {
        m_kind = QStringLiteral("none");
        m_icon->clear();
        m_info->setText(QStringLiteral("No item"));
        m_caption->clear();
        m_pages->setCurrentIndex(2);
        return;
    }
    const QString path = url.toLocalFile();
    const QFileInfo info(path);
    const QString name = info.fileName().isEmpty() ? path : info.fileName();
    m_caption->setText(n > 1 ? QStringLiteral("%1 (%2 of %3)").arg(name).arg(m_index + 1).arg(n)
                             : name);

    // Until the file is read: its icon, name, kind and size.
    static const QMimeDatabase db;
    m_kind = QStringLiteral("file");
    m_icon->setPixmap(QPixmap::fromImage(FileIcons::iconForFile(path))
                          .scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    QString details = name + u'\n' + db.mimeTypeForFile(path).comment();
    if (info.isFile())
        details += u'\n' + QLocale().formattedDataSize(info.size(), 1, QLocale::DataSizeSIFormat);
    m_info->setText(details);
    m_pages->setCurrentIndex(2);

    const quint64 token = m_loadToken;
    const QSize box = m_pages->size().expandedTo(QSize(320, 240)) * devicePixelRatioF();
    auto* watcher = new QFutureWatcher<Loaded>(this);
    connect(watcher, &QFutureWatcher<Loaded>::finished, this, [this, watcher, token] {
        watcher->deleteLater();
        if (token != m_loadToken)
            return; // the user has moved on
        const Loaded loaded = watcher->result();
        if (loaded.kind == u"image") {
            QPixmap pix = QPixmap::fromImage(loaded.image);
            pix.setDevicePixelRatio(devicePixelRatioF());
            m_image->setPixmap(pix);
            m_pages->setCurrentIndex(0);
            m_kind = loaded.kind;
        } else if (loaded.kind == u"text") {
            m_text->setPlainText(loaded.text);
            m_pages->setCurrentIndex(1);
            m_kind = loaded.kind;
        }
    });
    watcher->setFuture(QtConcurrent::run(load, path, box));
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
