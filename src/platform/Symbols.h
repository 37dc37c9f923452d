#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>

// Kavo's monochrome symbols (resources/symbols/NAME.svg), tinted at run time.
// A name without a symbol yields a null image.
namespace Symbols {

bool exists(const QString& name);

// The symbol drawn in `color`, fitting a square of `pointSize` points, at the
// given device pixel ratio. The image's device pixel ratio is set, so
// QPainter draws it at pointSize points.
QImage image(const QString& name, qreal pointSize, const QColor& color, qreal devicePixelRatio);

// The natural size, in points, of the symbol at `pointSize` (its viewBox
// scaled so that the larger side is pointSize).
QSizeF naturalSize(const QString& name, qreal pointSize);

} // namespace Symbols
