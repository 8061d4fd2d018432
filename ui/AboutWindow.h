#pragma once

#include <QDialog>

class Config;
class Ui_aboutwindow;

// The about box: version, build date and the maker's addresses from the
// running program's identity in Config.
class AboutWindow : public QDialog
{
    Q_OBJECT

public:
    explicit AboutWindow(QWidget *parent = nullptr);
    ~AboutWindow() override;

    Config *config = nullptr;

public slots:
    void on_ShowAbout();

private slots:
    void on_AboutOKBtn_clicked();

private:
    Ui_aboutwindow *ui = nullptr;
};
