#pragma once

#include <QAbstractButton>
#include <QString>

// A borderless icon button showing one of Kavo's symbols, with a tooltip, a
// rounded translucent backing and a brighter tint while hovered. Pressing it
// never moves the shelf.
class SymbolButton : public QAbstractButton
{
    Q_OBJECT
public:
    SymbolButton(const QString& symbol, const QString& help, QWidget* parent = nullptr);

    // Replaces the symbol; the accessible name becomes the current tooltip.
    void setSymbol(const QString& symbol);
    QString symbol() const { return m_symbol; }
    bool hasImage() const;
    bool isHovering() const { return m_hovering; }

    static constexpr qreal symbolSize = 11;
    static constexpr qreal cornerRadius = 12;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QString m_symbol;
    bool m_hovering = false;
};
