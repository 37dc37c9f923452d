#pragma once

#include <QWidget>

// The list's document: a plain widget whose rows are laid out from the top
// down (Qt widgets already have their origin at the top-left).
class FlippedView : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
};
