#include "ButtonPictures.h"

#include "Palette.h"
#include "Shapes.h"

#include <QPainter>
#include <QPainterPath>

using namespace Shapes;

namespace {

const QRectF page16(2, 0.5, 12, 15);

// Export pages: a sheet with a band at its foot in the colour of the format.
void exportPage(QPainter &p, const QColor &band)
{
    sheet(p, page16, Ink::Paper);
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRect(QRectF(2, 11.5, 12, 4));
}

void exportXls(QPainter &p)
{
    exportPage(p, Ink::DeepGreen);
    p.setPen(QPen(Ink::DeepGreen, 1));
    for (qreal y : {3.5, 6.5, 9.5})
        p.drawLine(QPointF(3.5, y), QPointF(10.5, y));
    p.drawLine(QPointF(6.5, 3.5), QPointF(6.5, 9.5));
}

void exportCsv(QPainter &p)
{
    exportPage(p, Ink::DeepBlue);
    p.setPen(QPen(Ink::DeepBlue, 1.4, Qt::SolidLine, Qt::FlatCap));
    for (qreal y : {4.0, 7.0, 10.0}) {
        p.drawLine(QPointF(3.5, y), QPointF(5.8, y));
        p.drawLine(QPointF(7.2, y), QPointF(9.5, y));
    }
}

void exportHtml(QPainter &p)
{
    exportPage(p, Ink::Orange);
    p.setPen(roundPen(Ink::Orange.darker(120), 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(6, 4), QPointF(3.8, 6.8), QPointF(6, 9.6)}));
    p.drawPolyline(QPolygonF({QPointF(9, 4), QPointF(11.2, 6.8), QPointF(9, 9.6)}));
}

void exportTxt(QPainter &p)
{
    exportPage(p, QColor(0x70, 0x70, 0x70));
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.2));
    for (qreal y : {3.5, 6.0, 8.5})
        p.drawLine(QPointF(3.5, y), QPointF(y > 8 ? 8.5 : 10.5, y));
}

void erase(QPainter &p)
{
    // An eraser tilted over a base line.
    p.save();
    p.translate(8.5, 7);
    p.rotate(-40);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x7F, 0x7F));
    p.drawRoundedRect(QRectF(-1, -3.5, 8, 7), 1.2, 1.2);
    p.setBrush(Ink::Paper);
    p.drawRoundedRect(QRectF(-7, -3.5, 7, 7), 1.2, 1.2);
    p.restore();
    p.setPen(roundPen(Ink::Grey, 1.4));
    p.drawLine(QPointF(2, 14.8), QPointF(14, 14.8));
}

void open(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Amber.darker(125));
    QPainterPath back;
    back.moveTo(1, 4);
    back.lineTo(7, 4);
    back.lineTo(9, 6);
    back.lineTo(17, 6);
    back.lineTo(17, 17);
    back.lineTo(1, 17);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(Ink::Amber);
    p.drawPolygon(QPolygonF({QPointF(4, 9), QPointF(19.5, 9), QPointF(17, 17), QPointF(1, 17)}));
}

void backspace(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Grey);
    p.drawPolygon(QPolygonF({QPointF(1, 10), QPointF(6.5, 4), QPointF(19, 4), QPointF(19, 16), QPointF(6.5, 16)}));
    p.setPen(roundPen(Ink::Dark, 1.8));
    p.drawLine(QPointF(9.5, 7.2), QPointF(15, 12.8));
    p.drawLine(QPointF(15, 7.2), QPointF(9.5, 12.8));
}

void edit(QPainter &p)
{
    // A pencil.
    p.save();
    p.translate(8, 8);
    p.rotate(-45);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Amber);
    p.drawRect(QRectF(-4, -2.2, 8, 4.4));
    p.setBrush(QColor(0xFF, 0x7F, 0x7F));
    p.drawRoundedRect(QRectF(4, -2.2, 3, 4.4), 0.8, 0.8);
    p.setBrush(Ink::Paper);
    p.drawPolygon(QPolygonF({QPointF(-4, -2.2), QPointF(-8, 0), QPointF(-4, 2.2)}));
    p.setBrush(Ink::Dark);
    p.drawPolygon(QPolygonF({QPointF(-6.5, -0.8), QPointF(-8, 0), QPointF(-6.5, 0.8)}));
    p.restore();
}

void ok(QPainter &p)
{
    checkMark(p, QRectF(4, 6, 20, 16), Ink::Green, 4.2);
}

void apply(QPainter &p)
{
    // Save without closing: a disk with a check.
    p.setPen(Qt::NoPen);
    p.setBrush(Ink::Blue);
    p.drawRoundedRect(QRectF(3, 3, 22, 22), 2.5, 2.5);
    p.setBrush(Ink::Dark);
    p.drawRect(QRectF(8, 3, 12, 7));
    p.setBrush(Ink::Paper);
    p.drawRoundedRect(QRectF(7, 13, 14, 10), 1, 1);
    checkMark(p, QRectF(10, 15, 8, 6), Ink::DeepGreen, 2);
}

// The service badges are our own marks: a letter-like figure drawn in strokes.
void kvarnolBadge(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1F, 0xA3, 0x7A));
    p.drawEllipse(QRectF(1, 1, 30, 30));
    p.setPen(roundPen(Qt::white, 3.6));
    p.drawLine(QPointF(11, 8.5), QPointF(11, 23.5));
    p.drawPolyline(QPolygonF({QPointF(21.5, 8.5), QPointF(13, 16), QPointF(21.5, 23.5)}));
}

void lotvarskBadge(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6B, 0x5B, 0xD6));
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 7, 7);
    p.setPen(roundPen(Qt::white, 3.6));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(8.5, 23.5), QPointF(16, 8.5), QPointF(23.5, 23.5)}));
    p.setPen(roundPen(Ink::Amber, 2.6));
    p.drawLine(QPointF(7, 27), QPointF(25, 27));
}

} // namespace

QVector<Picture> smallButtonPictures()
{
    return {
        {QStringLiteral("imgs/export-xls.png"), {16, 16}, exportXls},
        {QStringLiteral("imgs/export-csv.png"), {16, 16}, exportCsv},
        {QStringLiteral("imgs/export-html.png"), {16, 16}, exportHtml},
        {QStringLiteral("imgs/export-txt.png"), {16, 16}, exportTxt},
        {QStringLiteral("imgs/erase.png"), {16, 16}, erase},
        {QStringLiteral("imgs/edit.png"), {16, 16}, edit},
        {QStringLiteral("imgs/open.png"), {20, 20}, open},
        {QStringLiteral("imgs/backspace.png"), {20, 20}, backspace},
        {QStringLiteral("imgs/ok.png"), {28, 28}, ok},
        {QStringLiteral("imgs/apply.png"), {28, 28}, apply},
        {QStringLiteral("imgs/kvarnol_logo.png"), {32, 32}, kvarnolBadge},
        {QStringLiteral("imgs/lks_logo.png"), {32, 32}, lotvarskBadge},
    };
}
