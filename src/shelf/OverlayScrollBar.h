#pragma once

#include <QScrollBar>
#include <QTimer>

class QAbstractScrollArea;

// A thin scroll bar that floats over the right edge of a scroll area instead
// of taking room beside it: shown while the list scrolls or the pointer is
// over it, hidden a moment after both stop, and never when everything fits.
// It mirrors the area's own vertical scroll bar, which stays switched off.
class OverlayScrollBar : public QScrollBar
{
    Q_OBJECT
public:
    explicit OverlayScrollBar(QAbstractScrollArea* area);

    static constexpr int thickness = 7;
    static constexpr int lingerMs = 900;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reveal();
    void styleOnce();
    void settle();
    void place();

    QAbstractScrollArea* m_area;
    QTimer m_linger;
    bool m_hovered = false;
    bool m_styled = false;
};
