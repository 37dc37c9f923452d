#pragma once

#include <QWidget>

// A one-line label that shortens its text with an ellipsis where it does not
// fit: in the middle (keeping a file's name and extension) or at the end.
class ElidedLabel : public QWidget
{
    Q_OBJECT
public:
    ElidedLabel(Qt::TextElideMode mode, Qt::Alignment alignment, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    // The text as drawn at the current width.
    QString shownText() const;
    void setColor(const QColor& color);
    // Lets a text that does not fit shrink down to this pixel size before it
    // is shortened (0: never shrink).
    void setMinimumPixelSize(int pixels);
    // The font the text is drawn with at the current width.
    QFont shownFont() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_text;
    Qt::TextElideMode m_mode;
    Qt::Alignment m_alignment;
    QColor m_color;
    int m_minimumPixelSize = 0;
};
