#include "ui/services/drvpInputDialog.h"

#include <QIcon>

drvpInputDialog::drvpInputDialog()
    : QInputDialog(nullptr, Qt::WindowFlags())
{
    setWindowFlag(Qt::NoDropShadowWindowHint, false);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowFlag(Qt::BypassWindowManagerHint, true);
    setWindowIcon(QIcon(QStringLiteral(":/icons/shortlogo.ico")));
}

drvpInputDialog::~drvpInputDialog() = default;
