#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

// Kavo's preview window, one per process: it shows one item of the shelf
// that opened it (pictures scaled to fit, the beginning of text files as
// text, anything else as its large icon with name, kind and size). Arrow keys
// step through the items; Space and Escape close it. Files are read off the
// UI thread, and an item stays on show without flicker while its shelf
// redraws.
class PreviewPanel : public QWidget
{
    Q_OBJECT
public:
    // Where the panel takes its items from (the shelf that opened it).
    struct DataSource
    {
        QPointer<QObject> owner; // the source is gone when its owner is
        std::function<int()> count;
        std::function<QUrl(int)> url;
    };

    // The shared panel, created on first use (and ended with the other
    // process-wide objects).
    static PreviewPanel* shared();
    // Whether the shared panel has been created.
    static bool sharedExists();
    static void destroyShared();

    void setDataSource(const DataSource& source);
    bool isControlledBy(const QObject* owner) const;
    // Asks the source again (it calls this whenever its items change).
    void reloadData();
    // Hides the shared panel and forgets its source if `owner` controls it
    // (the shelf closes).
    static void release(const QObject* owner);
    // Raises the shared panel while it is on show: it stays above the
    // shelves (called whenever a shelf comes forward).
    static void raiseAboveShelves();

    int itemCount() const;
    int currentIndex() const { return m_index; }
    void setCurrentIndex(int index);
    // The item shown; empty when there is none (also for an index the source
    // no longer has).
    QUrl currentUrl() const;
    // What the panel shows now: "image", "text", "file" or "none".
    QString shownKind() const { return m_kind; }
    // Whether the current item is still being read.
    bool isLoading() const { return m_loading; }
    // The text on show for a text file, and the line under it that says the
    // file is longer than what is shown (empty when all of it is shown).
    QString shownText() const;
    QString shownNote() const;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    PreviewPanel();
    void showCurrent();
    void showCaption();

    DataSource m_source;
    int m_index = 0;
    QUrl m_shownUrl;
    QString m_kind = QStringLiteral("none");
    quint64 m_loadToken = 0;
    bool m_loading = false;
    QStackedWidget* m_pages;
    QLabel* m_image;
    QPlainTextEdit* m_text;
    QLabel* m_note;
    QLabel* m_icon;
    QLabel* m_info;
    QLabel* m_caption;
};
