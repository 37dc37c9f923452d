#pragma once

#include <QColor>
#include <QImage>
#include <QSizeF>

// Soft shadows for the pictures of the pile (QPainter has no shadow of its
// own): the picture's silhouette in `color`, blurred.
namespace DropShadow {

// The shadow of `source` drawn at `size` points, blurred by `radius` points,
// at the given device pixel ratio. The result is larger than `size` by
// `radius` on every side and carries the device pixel ratio.
QImage make(const QImage& source, const QSizeF& size, qreal radius, const QColor& color,
            qreal devicePixelRatio);

} // namespace DropShadow
