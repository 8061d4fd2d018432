// The reader of files the user names, at its size bounds: a file of exactly
// the limit is read whole, one byte more is refused, and an empty file only
// where the caller allows it. Pipes and devices: tst_config and tst_sender.

#include "config/SmallFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestSmallFile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void bounds_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("maxSize");
        QTest::addColumn<bool>("emptyAllowed");
        QTest::addColumn<QString>("error"); // empty: read whole
        QTest::newRow("at the limit") << qint64(1024) << qint64(1024) << false << "";
        QTest::newRow("one byte over") << qint64(1025) << qint64(1024) << true << "Размер файла больше 1 КБ";
        QTest::newRow("at the default limit") << qint64(262144) << SmallFile::defaultMaxSize << true << "";
        QTest::newRow("over the default limit") << qint64(262145) << SmallFile::defaultMaxSize << true
                                                << "Размер файла больше 256 КБ";
        QTest::newRow("over megabytes") << qint64(2097153) << qint64(2097152) << false << "Размер файла больше 2 МБ";
        QTest::newRow("one byte") << qint64(1) << qint64(1024) << false << "";
        QTest::newRow("empty, allowed") << qint64(0) << qint64(1024) << true << "";
        QTest::newRow("empty, refused") << qint64(0) << qint64(1024) << false << "Файл пуст";
    }

    void bounds()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, maxSize);
        QFETCH(bool, emptyAllowed);
        QFETCH(QString, error);
        QByteArray bytes(int(size), '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 31 % 251);
        QFile written(dir.filePath("file.bin"));
        QVERIFY(written.open(QIODevice::WriteOnly) && written.write(bytes) == size);
        written.close();

        SmallFile file(written.fileName(), maxSize, emptyAllowed ? SmallFile::Empty::Allowed : SmallFile::Empty::Refused);
        QCOMPARE(file.read(), error.isEmpty());
        QCOMPARE(file.errorString(), error);
        QCOMPARE(file.error(), error.isEmpty() ? QFileDevice::NoError : QFileDevice::ReadError);
        QCOMPARE(file.bytes(), error.isEmpty() ? bytes : QByteArray());
    }
};

QTEST_APPLESS_MAIN(TestSmallFile)
#include "tst_smallfile.moc"
