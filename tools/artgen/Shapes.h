#pragma once

#include <QColor>
#include <QRectF>

class QPainter;
class QPen;

// Pictogram parts shared by several pictures; each fills the given box.
namespace Shapes {
QPen roundPen(const QColor &colour, qreal width);
void card(QPainter &p, const QRectF &box, const QColor &body); // landscape card with chip
void padlock(QPainter &p, const QRectF &box, bool open);
void sheet(QPainter &p, const QRectF &box, const QColor &paper); // page with a folded corner
void checkMark(QPainter &p, const QRectF &box, const QColor &colour, qreal width);
void crossBadge(QPainter &p, const QPointF &centre, qreal radius, const QColor &fill);
void arrowHead(QPainter &p, const QPointF &tip, qreal angleDegrees, qreal size, const QColor &colour);
} // namespace Shapes
