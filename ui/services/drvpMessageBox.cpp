#include "ui/services/drvpMessageBox.h"

#include <QIcon>

drvpMessageBox::drvpMessageBox()
    : QMessageBox(nullptr)
{
    setWindowFlag(Qt::NoDropShadowWindowHint, false);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowFlag(Qt::BypassWindowManagerHint, true);
    setWindowIcon(QIcon(QStringLiteral(":/icons/shortlogo.ico")));
}

drvpMessageBox::~drvpMessageBox() = default;
