#include "platform/Symbols.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <memory>

namespace Symbols {
namespace {

constexpr qsizetype maxDrawn = 128;

QString resourcePath(const QString& name)
{
    return QStringLiteral(":/symbols/") + name + QStringLiteral(".svg");
}

// Renderers are parsed once per name and kept; the symbol set is small.
QSvgRenderer* renderer(const QString& name)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> cache;
    auto it = cache.constFind(name);
    if (it != cache.constEnd())
        return it->get();
    std::shared_ptr<QSvgRenderer> r;
    if (QFile::exists(resourcePath(name))) {
        r = std::make_shared<QSvgRenderer>(resourcePath(name));
        if (!r->isValid())
            r.reset();
    }
    cache.insert(name, r);
    return r.get();
}

} // namespace

bool exists(const QString& name) { return renderer(name) != nullptr; }

QSizeF naturalSize(const QString& name, qreal pointSize)
{
    QSvgRenderer* r = renderer(name);
    if (!r)
        return {};
    const QSizeF box = r->viewBoxF().size();
    if (box.isEmpty())
        return {pointSize, pointSize};
    const qreal s = pointSize / std::max(box.width(), box.height());
    return {box.width() * s, box.height() * s};
}

QImage image(const QString& name, qreal pointSize, const QColor& color, qreal devicePixelRatio)
{
    // Every button of every shelf asks at each paint, in a handful of sizes
    // and tints: each picture is drawn once and kept (a few dozen at most;
    // a flood of tints starts the set again).
    static QHash<QString, QImage> drawn;
    const QString key = QStringLiteral("%1:%2:%3@%4")
                            .arg(name)
                            .arg(pointSize)
                            .arg(color.rgba(), 0, 16)
                            .arg(devicePixelRatio);
    if (const auto it = drawn.constFind(key); it != drawn.constEnd())
        return *it;
    QSvgRenderer* r = renderer(name);
    if (!r)
        return {};
    const QSizeF points = naturalSize(name, pointSize);
    const QSize pixels(std::max(1, int(std::ceil(points.width() * devicePixelRatio))),
                       std::max(1, int(std::ceil(points.height() * devicePixelRatio))));
    QImage img(pixels, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        r->render(&p, QRectF(QPointF(0, 0), QSizeF(pixels)));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(img.rect(), color);
    }
    img.setDevicePixelRatio(devicePixelRatio);
    if (drawn.size() >= maxDrawn)
        drawn.clear();
    drawn.insert(key, img);
    return img;
}

} // namespace Symbols
