#include "readers/DddFileName.h"
#include "readers/DddFileWriter.h"

#include <QtTest>

// .ddd file names and the writer that never replaces a file.
class TestCardReaderDddFile : public QObject
{
    Q_OBJECT

private:
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void namesStayBareFileNames()
    {
        const QDateTime afternoon(QDate(2024, 3, 5), QTime(14, 7, 59));
        QCOMPARE(DddFileName::forCard("ЕСТР", "RUD0000001100200", afternoon), "ЕСТР_RUD0000001100200-20240305_1407.ddd");
        // Card texts never reach the file system as paths or placeholders.
        QCOMPARE(DddFileName::forCard("РФ", "../..\\%3/a:b*?", afternoon), "РФ________3_a_b__-20240305_1407.ddd");
        QCOMPARE(DddFileName::safePart("Ёлка-1_z"), "Ёлка-1_z");
        QCOMPARE(DddFileName::forCard("Неопределенный", QString(), afternoon), "Неопределенный_-20240305_1407.ddd");
        QCOMPARE(DddFileName::numbered("NoName.ddd", 3), "NoName_3.ddd");
    }

    void writesWholeFileWithoutReplacingAny()
    {
        QTemporaryDir folder;
        DddFileWriter writer(folder.path());
        QVERIFY(writer.write("NoName.ddd", "first"));
        QCOMPARE(writer.path(), folder.filePath("NoName.ddd"));
        QVERIFY(writer.write("NoName.ddd", "second"));
        QCOMPARE(writer.path(), folder.filePath("NoName_2.ddd"));
        // A folder of that name counts as taken too.
        QVERIFY(QDir(folder.path()).mkdir("NoName_3.ddd"));
        QVERIFY(writer.write("NoName.ddd", "third"));
        QCOMPARE(writer.path(), folder.filePath("NoName_4.ddd"));

        QCOMPARE(contents(folder.filePath("NoName.ddd")), QByteArray("first"));
        QCOMPARE(contents(folder.filePath("NoName_2.ddd")), QByteArray("second"));
        QCOMPARE(contents(folder.filePath("NoName_4.ddd")), QByteArray("third"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 3);
    }

    void failureNamesPathCodeAndText()
    {
        QTemporaryDir sandbox;
        const QString missing = sandbox.filePath("missing");
        DddFileWriter writer(missing);
        QVERIFY(!writer.write("NoName.ddd", "data"));
        QCOMPARE(writer.path(), missing + "/NoName.ddd");
        QCOMPARE(writer.errorCode(), int(QFileDevice::OpenError));
        QVERIFY(!writer.errorText().isEmpty());
        QVERIFY(!QFileInfo::exists(missing));

        QFile plain(sandbox.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        DddFileWriter intoFile(plain.fileName());
        QVERIFY(!intoFile.write("NoName.ddd", "data"));
        QVERIFY(intoFile.errorCode() != 0);

        DddFileWriter escaping(sandbox.path());
        QVERIFY(!escaping.write("../NoName.ddd", "data"));
        QVERIFY(!QFileInfo::exists(QFileInfo(sandbox.path()).dir().filePath("NoName.ddd")));
    }
};

QTEST_GUILESS_MAIN(TestCardReaderDddFile)
#include "tst_cardreader_dddfile.moc"
