#pragma once

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

// The tool tip a user resting the mouse on `pos` of `widget` gets; empty when
// none shows. (A tip going away lingers, so a stand-in tip tells "none".)
inline QString toolTipAt(QWidget *widget, const QPoint &pos)
{
    const QString none = QStringLiteral("<no tip>");
    QToolTip::showText(widget->mapToGlobal(pos), none);
    QHelpEvent help(QEvent::ToolTip, pos, widget->mapToGlobal(pos));
    QApplication::sendEvent(widget, &help);
    const QString shown = QToolTip::text();
    return shown == none ? QString() : shown;
}
