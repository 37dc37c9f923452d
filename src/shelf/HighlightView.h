#pragma once

#include <QWidget>

// The overlay over a whole shelf: a faint hairline edge normally, an
// accent-coloured frame with a light accent fill while a drop hovers. It never
// takes the mouse.
class HighlightView : public QWidget
{
    Q_OBJECT
public:
    explicit HighlightView(QWidget* parent = nullptr);

    qreal radius() const { return m_radius; }
    void setRadius(qreal radius);
    bool isActive() const { return m_isActive; }
    // Repaints only when the value changes.
    void setActive(bool active);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    qreal m_radius = 0;
    bool m_isActive = false;
};
