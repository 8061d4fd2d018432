#include "ui/services/drvpProgressDialog.h"

#include <QIcon>

drvpProgressDialog::drvpProgressDialog()
    : QProgressDialog(nullptr, Qt::WindowFlags())
{
    setWindowFlag(Qt::NoDropShadowWindowHint, false);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowFlag(Qt::BypassWindowManagerHint, true);
    setWindowIcon(QIcon(QStringLiteral(":/icons/shortlogo.ico")));
}

drvpProgressDialog::~drvpProgressDialog() = default;
