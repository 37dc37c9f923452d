#pragma once

#include <QWidget>

// The count badge above the pile: a capsule in the accent colour with the
// number in white.
class BadgeView : public QWidget
{
    Q_OBJECT
public:
    explicit BadgeView(QWidget* parent = nullptr);

    int count() const { return m_count; }
    // Sets the number shown; the owner asks for a new size and a repaint.
    void setCount(int count);

    // Width: the text's width plus 14, at least 24; height 18.
    QSize sizeHint() const override;
    QFont textFont() const;
    qreal digitWidth() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int m_count = 0;
};
