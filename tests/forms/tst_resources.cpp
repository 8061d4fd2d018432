#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QWidget>
#include <QtTest>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("DRVP_SOURCE_DIR");
}

// Every ":/..." picture, icon or style sheet named by a form or a source file,
// with the first file that names it.
QMap<QString, QString> namedResources()
{
    static const QRegularExpression path(QStringLiteral("(?<![\\w/]):/[\\w./@-]+\\.(?:png|ico|qss)"));
    QMap<QString, QString> found;
    for (const char* folder : {"ui", "readers", "card", "config", "net", "platform"}) {
        QDirIterator it(sourceDir() + '/' + folder, {"*.ui", "*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto match = path.globalMatch(text); match.hasNext();) {
                const QString name = match.next().captured();
                if (!found.contains(name))
                    found.insert(name, QDir(sourceDir()).relativeFilePath(file.fileName()));
            }
        }
    }
    return found;
}

QString applicationStyleSheet()
{
    QFile file(QStringLiteral(":/qss/style.qss"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList filesUnder(const QString& root)
{
    QStringList files;
    for (const char* folder : {"imgs", "icons", "qss"}) {
        QDirIterator it(root + '/' + folder, QDir::Files);
        while (it.hasNext())
            files.append(QDir(root).relativeFilePath(it.next()));
    }
    files.sort();
    return files;
}

// Qt's raster engine rounds its blending differently on different
// processors: one unit per channel. A changed shape or colour moves a pixel
// by far more than the few units allowed here.
bool looksAlike(QImage a, QImage b)
{
    if (a.isNull() || a.size() != b.size())
        return false;
    a = a.convertToFormat(QImage::Format_ARGB32);
    b = b.convertToFormat(QImage::Format_ARGB32);
    constexpr int tolerance = 3;
    for (int y = 0; y < a.height(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = rowA[x], q = rowB[x];
            if (qAbs(qRed(p) - qRed(q)) > tolerance || qAbs(qGreen(p) - qGreen(q)) > tolerance
                || qAbs(qBlue(p) - qBlue(q)) > tolerance || qAbs(qAlpha(p) - qAlpha(q)) > tolerance)
                return false;
        }
    }
    return true;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void namedPathsLoad_data()
    {
        QTest::addColumn<QString>("path");
        const QMap<QString, QString> named = namedResources();
        for (const char* known : {":/icons/logo.ico", ":/imgs/upload.png", ":/imgs/reader_error.png"})
            QVERIFY2(named.contains(known), known);
        for (auto it = named.cbegin(); it != named.cend(); ++it)
            QTest::newRow(qPrintable(it.key() + " in " + it.value())) << it.key();
    }

    void namedPathsLoad()
    {
        QFETCH(QString, path);
        QVERIFY(QFile::exists(path));
        if (path.endsWith(QLatin1String(".qss"))) {
            // Applied to a widget, the sheet must parse: Qt only warns.
            static QStringList warnings;
            const QtMessageHandler previous = qInstallMessageHandler(
                [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                    if (type != QtDebugMsg)
                        warnings << text;
                });
            QWidget widget;
            widget.setStyleSheet(applicationStyleSheet());
            widget.ensurePolished();
            qInstallMessageHandler(previous);
            QVERIFY(widget.styleSheet().size() > 1000);
            QCOMPARE(warnings, QStringList());
            return;
        }
        QImageReader reader(path);
        QVERIFY2(!reader.read().isNull(), qPrintable(reader.errorString()));
    }

    void bundleHoldsTheFolder()
    {
        QCOMPARE(filesUnder(QStringLiteral(":")), filesUnder(sourceDir() + "/resources"));
    }

    // The committed pictures are what tools/artgen draws today. The logo and
    // the splash carry text, which depends on the installed fonts.
    void artworkIsRedrawable()
    {
        QTemporaryDir out;
        QProcess artgen;
        artgen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        artgen.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + "/artgen", {out.path()});
        QVERIFY(artgen.waitForFinished(60000));
        QCOMPARE(artgen.exitCode(), 0);
        const QStringList drawn = filesUnder(out.path());
        QCOMPARE(drawn.size(), filesUnder(QStringLiteral(":")).size() - 1); // all but the style sheet
        for (const QString& file : drawn) {
            if (file.startsWith(QLatin1String("imgs/logo")) || file.startsWith(QLatin1String("imgs/splash")))
                continue;
            QImageReader fresh(out.filePath(file)), committed(':' + file);
            QCOMPARE(fresh.imageCount(), committed.imageCount()); // 0 for a PNG, which holds one
            for (int i = 0; i < qMax(1, fresh.imageCount()); ++i) {
                fresh.jumpToImage(i), committed.jumpToImage(i);
                QVERIFY2(looksAlike(fresh.read(), committed.read()), qPrintable(file));
            }
        }
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
