// The baseline of the start-up benchmark: the least a Qt Widgets program
// does to show a window.

#include "tools/startbench/FirstPaint.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    FirstPaint paint(&window);
    window.resize(1170, 770);
    window.show();
    return app.exec();
}
