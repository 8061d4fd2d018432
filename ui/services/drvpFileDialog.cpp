#include "ui/services/drvpFileDialog.h"

#include <QIcon>

drvpFileDialog::drvpFileDialog()
    : QFileDialog(nullptr, QString(), QString(), QString())
{
    setWindowFlag(Qt::NoDropShadowWindowHint, false);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowFlag(Qt::BypassWindowManagerHint, true);
    setOptions(QFileDialog::DontUseNativeDialog);
    setWindowIcon(QIcon(QStringLiteral(":/icons/shortlogo.ico")));
}

drvpFileDialog::~drvpFileDialog() = default;
