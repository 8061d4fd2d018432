#include "StepPictures.h"

#include "Palette.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// State 0 idle, 1 running, 2 done, 3 failed.
const QColor stateColours[4] = {QColor(0x66, 0x66, 0x66), QColor(0x6A, 0xCF, 0xFA), QColor(0x92, 0xDB, 0x6C),
                                QColor(0xFF, 0x7F, 0x7F)};

// The detail colour inside a pictogram: dark enough to read on every state colour.
QColor detail(const QColor &c)
{
    return c.darker(230);
}

QPen line(const QColor &c, qreal width)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void card(QPainter &p, const QColor &c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(1, 2, 22, 14), 2.5, 2.5);
    p.setBrush(detail(c));
    p.drawRoundedRect(QRectF(4, 5.5, 6, 5), 1, 1);
    p.setPen(line(detail(c), 1.6));
    p.drawLine(QPointF(13, 7), QPointF(20, 7));
    p.drawLine(QPointF(13, 10.5), QPointF(18, 10.5));
    p.drawLine(QPointF(4, 13.2), QPointF(10, 13.2));
}

void connect(QPainter &p, const QColor &c)
{
    p.setPen(line(c, 2.6));
    p.drawLine(QPointF(5, 7.5), QPointF(19, 7.5));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(4.5, 7.5), 4, 4);
    p.drawEllipse(QPointF(19.5, 7.5), 4, 4);
    p.setBrush(detail(c));
    p.drawEllipse(QPointF(4.5, 7.5), 1.6, 1.6);
    p.drawEllipse(QPointF(19.5, 7.5), 1.6, 1.6);
}

void tray(QPainter &p, const QColor &c)
{
    p.setPen(line(c, 2.4));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(3, 10.5), QPointF(3, 16.3), QPointF(21, 16.3), QPointF(21, 10.5)}));
}

void send(QPainter &p, const QColor &c)
{
    tray(p, c);
    p.setPen(line(c, 2.6));
    p.drawLine(QPointF(12, 13), QPointF(12, 5));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF({QPointF(6.5, 7.5), QPointF(12, 1), QPointF(17.5, 7.5)}));
}

void resive(QPainter &p, const QColor &c)
{
    tray(p, c);
    p.setPen(line(c, 2.6));
    p.drawLine(QPointF(12, 1.5), QPointF(12, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF({QPointF(6.5, 7), QPointF(12, 13.5), QPointF(17.5, 7)}));
}

void preview(QPainter &p, const QColor &c)
{
    QPainterPath eye;
    eye.moveTo(1, 7.5);
    eye.quadTo(12, -4, 23, 7.5);
    eye.quadTo(12, 19, 1, 7.5);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(eye);
    p.setBrush(detail(c));
    p.drawEllipse(QPointF(12, 7.5), 4, 4);
    p.setBrush(c);
    p.drawEllipse(QPointF(13.3, 6.2), 1.3, 1.3);
}

void unblock(QPainter &p, const QColor &c)
{
    // Open padlock: the shackle is lifted out of the body on the right.
    p.setPen(line(c, 2.4));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(7.5, 10);
    shackle.lineTo(7.5, 6);
    shackle.arcTo(QRectF(7.5, 1.3, 9, 9), 180, -180);
    shackle.lineTo(16.5, 6.5);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(4, 9.5, 16, 10), 2, 2);
    p.setBrush(detail(c));
    p.drawEllipse(QPointF(12, 13.5), 1.8, 1.8);
    p.drawRect(QRectF(11.2, 13.5, 1.6, 3.6));
}

void read(QPainter &p, const QColor &c)
{
    // An open book.
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF({QPointF(1, 4), QPointF(11, 6), QPointF(11, 22), QPointF(1, 20)}));
    p.drawPolygon(QPolygonF({QPointF(13, 6), QPointF(23, 4), QPointF(23, 20), QPointF(13, 22)}));
    p.setPen(line(detail(c), 1.3));
    for (int i = 0; i < 4; ++i) {
        const qreal y = 9.5 + 3 * i;
        p.drawLine(QPointF(3.5, y - 1.2), QPointF(8.5, y));
        p.drawLine(QPointF(15.5, y), QPointF(20.5, y - 1.2));
    }
    p.setPen(line(c, 1.4));
    p.drawLine(QPointF(12, 5), QPointF(12, 22));
}

void save(QPainter &p, const QColor &c)
{
    QPainterPath body;
    body.moveTo(4, 1);
    body.lineTo(18, 1);
    body.lineTo(22, 5);
    body.lineTo(22, 19);
    body.quadTo(22, 21, 20, 21);
    body.lineTo(4, 21);
    body.quadTo(2, 21, 2, 19);
    body.lineTo(2, 3);
    body.quadTo(2, 1, 4, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(body);
    p.setBrush(detail(c));
    p.drawRect(QRectF(6, 1, 10, 6));
    p.drawRoundedRect(QRectF(5, 11, 14, 8), 1, 1);
    p.setBrush(c);
    p.drawRect(QRectF(12.5, 2.2, 2.3, 3.6));
}

void data(QPainter &p, const QColor &c)
{
    // A stack of three discs.
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(QRectF(1.5, 4, 18, 16));
    p.drawEllipse(QRectF(1.5, 16.5, 18, 7));
    p.setPen(line(detail(c), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(1.5, 5.5, 18, 7), 180 * 16, 180 * 16);
    p.drawArc(QRectF(1.5, 11, 18, 7), 180 * 16, 180 * 16);
    p.setPen(QPen(detail(c), 1.2));
    p.setBrush(c);
    p.drawEllipse(QRectF(1.5, 0.6, 18, 7));
}

void enf(QPainter &p, const QColor &c)
{
    // A warning triangle: events and faults.
    p.setPen(line(c, 2));
    p.setBrush(c);
    p.drawPolygon(QPolygonF({QPointF(12, 1.5), QPointF(22.5, 18.5), QPointF(1.5, 18.5)}));
    p.setPen(Qt::NoPen);
    p.setBrush(detail(c));
    p.drawRoundedRect(QRectF(10.8, 6.5, 2.4, 7), 1, 1);
    p.drawEllipse(QPointF(12, 15.6), 1.4, 1.4);
}

void check(QPainter &p, const QColor &c)
{
    p.setPen(line(c, 4));
    p.drawPolyline(QPolygonF({QPointF(3.5, 10.5), QPointF(9.5, 16.5), QPointF(20.5, 3.5)}));
}

void readerError(QPainter &p)
{
    // A grey reader with a red cross badge; the red card means something else.
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Grey);
    p.drawRoundedRect(QRectF(0.5, 6, 17, 11.5), 2, 2);
    p.setBrush(Ink::Dark);
    p.drawRect(QRectF(3, 8.5, 10, 1.8));
    p.setBrush(QColor(0x66, 0x66, 0x66));
    p.drawRect(QRectF(3, 13, 5, 1.5));
    p.setPen(QPen(Ink::Dark, 1.2));
    p.setBrush(Ink::Red);
    p.drawEllipse(QPointF(17.5, 6.5), 6, 6);
    p.setPen(line(Qt::white, 1.8));
    p.drawLine(QPointF(15.2, 4.2), QPointF(19.8, 8.8));
    p.drawLine(QPointF(19.8, 4.2), QPointF(15.2, 8.8));
}

struct Kind {
    const char *name;
    QSize size;
    void (*draw)(QPainter &, const QColor &);
};

const Kind kinds[] = {
    {"card", {24, 18}, card},       {"connect", {24, 15}, connect}, {"send", {24, 18}, send},
    {"resive", {24, 18}, resive},   {"preview", {24, 15}, preview}, {"unblock", {24, 20}, unblock},
    {"read", {24, 23}, read},       {"save", {24, 22}, save},       {"data", {21, 24}, data},
    {"enf", {24, 20}, enf},         {"check", {24, 20}, check},
};

} // namespace

QVector<Picture> stepPictures()
{
    QVector<Picture> pictures;
    for (const Kind &kind : kinds) {
        for (int state = 0; state < 4; ++state) {
            const QColor colour = stateColours[state];
            const auto draw = kind.draw;
            pictures.append({QStringLiteral("imgs/step_%1%2.png").arg(QLatin1String(kind.name)).arg(state),
                             kind.size, [draw, colour](QPainter &p) { draw(p, colour); }});
        }
    }
    pictures.append({QStringLiteral("imgs/reader_error.png"), {24, 18}, readerError});
    return pictures;
}
