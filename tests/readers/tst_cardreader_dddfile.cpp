#include "readers/DddFileName.h"
#include "readers/DddFileWriter.h"

#include <QtTest>

// .ddd file names and the writer that never replaces a file. A folder that
// is missing or goes away is the read test's.
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
        // A folder of that name counts as taken too.
        QVERIFY(QDir(folder.path()).mkdir("NoName_3.ddd"));
        const QStringList names{"NoName.ddd", "NoName_2.ddd", "NoName_4.ddd"};
        for (const QString &name : names) {
            DddFileWriter writer(folder.path());
            QVERIFY(writer.claim("NoName.ddd"));
            QCOMPARE(writer.path(), folder.filePath(name));
            QVERIFY(writer.write(name.toUtf8()));
        }
        for (const QString &name : names)
            QCOMPARE(contents(folder.filePath(name)), name.toUtf8());
        {
            DddFileWriter unused(folder.path());
            QVERIFY(unused.claim("NoName.ddd"));
            QCOMPARE(unused.path(), folder.filePath("NoName_5.ddd"));
            QVERIFY(!QFileInfo::exists(folder.filePath("NoName_5.ddd")));
        }
        // A claim that never got its image leaves nothing behind.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), names);
        DddFileWriter escaping(folder.path());
        QVERIFY(!escaping.claim("../NoName.ddd"));
        QCOMPARE(escaping.errorText(), QStringLiteral("Недопустимое имя файла."));
    }
};

QTEST_GUILESS_MAIN(TestCardReaderDddFile)
#include "tst_cardreader_dddfile.moc"
