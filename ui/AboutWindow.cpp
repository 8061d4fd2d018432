#include "ui/AboutWindow.h"

#include "config/Config.h"

#include "ui_aboutwindow.h"

AboutWindow::AboutWindow(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_aboutwindow)
{
    ui->setupUi(this);
    setWindowFlag(Qt::NoDropShadowWindowHint, false);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowFlag(Qt::BypassWindowManagerHint, true);
}

AboutWindow::~AboutWindow()
{
    delete ui;
}

void AboutWindow::on_ShowAbout()
{
    const auto info = [this](const char *key) { return config->appInfo.value(QLatin1String(key)); };
    ui->VersionLbl->setText(QStringLiteral("Версия %1, сборка от %2").arg(info("AppVersion"), info("AppBuildDate")));
    ui->WebLbl->setText(QStringLiteral("Web: <a href=\"%1\">%1</a>").arg(info("AppDeveloperWeb")));
    ui->EmailLbl->setText(
        QStringLiteral("По общим вопросам: <a href=\"mailto:%1\">%1</a>").arg(info("AppDeveloperEmail")));
    ui->TechSupLbl->setText(
        QStringLiteral("Техподдержка: <a href=\"mailto:%1\">%1</a>").arg(info("AppDeveloperTechsupport")));
    show();
}

void AboutWindow::on_AboutOKBtn_clicked()
{
    close();
}
