#pragma once

#include <QAbstractButton>
#include <QString>

// A borderless icon button showing one of Kavo's symbols, with a tooltip, a
// rounded translucent backing and a brighter tint while hovered. Pressing it
// never moves the shelf. It takes no focus unless given a focus policy; with
// the focus it shows the focus ring (not after a click) and Space presses it.
class SymbolButton : public QAbstractButton
{
    Q_OBJECT
public:
    SymbolButton(const QString& symbol, const QString& help, QWidget* parent = nullptr);

    // Replaces the symbol. The accessible name is always the tooltip: a new
    // tooltip renames the button for screen readers too.
    void setSymbol(const QString& symbol);
    QString symbol() const { return m_symbol; }
    bool hasImage() const;
    bool isHovering() const { return m_hovering; }
    // Whether the focus ring is drawn: it has the focus, not from a click.
    bool showsFocusRing() const { return hasFocus() && m_focusFromKeys; }

    static constexpr qreal symbolSize = 11;
    static constexpr qreal cornerRadius = 12;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    QString m_symbol;
    bool m_hovering = false;
    bool m_focusFromKeys = false;
};
