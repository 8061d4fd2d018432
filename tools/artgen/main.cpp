// Draws every picture and icon of the resource bundle into the given folder
// (the repository's resources/): artgen <folder>
#include "BrandPictures.h"
#include "ButtonPictures.h"
#include "IcoFile.h"
#include "StepPictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen <resources folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(root + "/icons");

    int written = 0;
    for (const Picture &picture : stepPictures() + commandPictures() + smallButtonPictures() + brandPictures()) {
        if (!writePicture(root, picture))
            return 1;
        ++written;
    }

    QVector<QImage> full, shortForm;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        full.append(emblemImage(size, false));
    for (int size : {16, 24, 32, 48, 64})
        shortForm.append(emblemImage(size, true));
    if (!writeIcoFile(root + "/icons/logo.ico", full) || !writeIcoFile(root + "/icons/shortlogo.ico", shortForm))
        return 1;
    std::printf("artgen: %d pictures and 2 icons written under %s\n", written, qPrintable(root));
    return 0;
}
