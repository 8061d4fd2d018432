#include "readers/DddFileName.h"
#include "readers/DddFileWriter.h"
#include "tests/support/ReadOnlyFolder.h"

#include <QtTest>

#include <cerrno>

#include <sys/stat.h>

// .ddd file names and the writer that never replaces a file nor shows a part
// of one. A folder that goes away during a read is the read test's.
class TestCardReaderDddFile : public QObject
{
    Q_OBJECT

private:
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // Every entry, hidden or not; a writer's hidden file shows as "<draft>".
    static QStringList entries(const QString &folder)
    {
        const QRegularExpression draft("^\\.drvp-draft-[A-Za-z0-9]{6}\\.part$");
        QStringList names;
        for (const QFileInfo &entry :
             QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            const bool isDraft = entry.isFile() && !entry.isSymLink() && draft.match(entry.fileName()).hasMatch();
            names << (isDraft ? QStringLiteral("<draft>") : entry.fileName());
        }
        names.sort();
        return names;
    }

private slots:
    // The permissions the placed files are checked for.
    void initTestCase() { ::umask(022); }

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

    // Between the claim and the write another program takes the name: the
    // image goes to the next one and the taker's entry stays as it was.
    void nameTakenAfterTheClaim_data()
    {
        QTest::addColumn<QString>("taker");
        QTest::newRow("file") << "file";
        QTest::newRow("folder") << "folder";
        QTest::newRow("link to a missing file") << "link";
    }
    void nameTakenAfterTheClaim()
    {
        QFETCH(QString, taker);
        QTemporaryDir folder;
        DddFileWriter writer(folder.path());
        QVERIFY(writer.claim("A.ddd"));
        QCOMPARE(writer.path(), folder.filePath("A.ddd"));
        QCOMPARE(entries(folder.path()), QStringList{"<draft>"});
        QFile other(folder.filePath("A.ddd"));
        if (taker == "file")
            QVERIFY(other.open(QIODevice::WriteOnly) && other.write("other") == 5 && other.flush());
        else if (taker == "folder")
            QVERIFY(QDir(folder.path()).mkdir("A.ddd"));
        else
            QVERIFY(QFile::link("elsewhere.ddd", folder.filePath("A.ddd")));

        QVERIFY(writer.write("image"));
        QCOMPARE(writer.path(), folder.filePath("A_2.ddd"));
        QCOMPARE(contents(folder.filePath("A_2.ddd")), QByteArray("image"));
        QCOMPARE(QFile::permissions(folder.filePath("A_2.ddd")),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup
                     | QFile::ReadOther);
        QCOMPARE(entries(folder.path()), (QStringList{"A.ddd", "A_2.ddd"}));
        if (taker == "file")
            QCOMPARE(contents(folder.filePath("A.ddd")), QByteArray("other"));
        if (taker == "link")
            QCOMPARE(QFileInfo(folder.filePath("A.ddd")).symLinkTarget(), folder.filePath("elsewhere.ddd"));
    }

    // A draft nobody holds was left by a killed writer; a living writer's
    // draft and every other entry stay.
    void leftoversGoOnlyWhenNobodyHoldsThem()
    {
        QTemporaryDir folder;
        const QDir dir(folder.path());
        const QStringList kept{".DRVP-DRAFT-Ab3dE9.PART", ".drvp-draft-Ab3dE.part", ".drvp-draft-Ab3dE9.tmp",
                               "drvp-draft-Ab3dE9.part", "x.ddd"};
        for (const QString &name : kept + QStringList{".drvp-draft-Ab3dE9.part"}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("half") == 4);
        }
        QVERIFY(dir.mkdir(".drvp-draft-Folder.part"));
        QVERIFY(QFile::link("x.ddd", dir.filePath(".drvp-draft-Linked.part")));
        DddFileWriter living(folder.path());
        QVERIFY(living.claim("living.ddd"));

        QCOMPARE(DddFileWriter::removeLeftovers(folder.path()), 1);
        QCOMPARE(entries(folder.path()),
                 (QStringList{".DRVP-DRAFT-Ab3dE9.PART", ".drvp-draft-Ab3dE.part", ".drvp-draft-Ab3dE9.tmp",
                              ".drvp-draft-Folder.part", ".drvp-draft-Linked.part", "<draft>",
                              "drvp-draft-Ab3dE9.part", "x.ddd"}));
        QCOMPARE(DddFileWriter::removeLeftovers(folder.path()), 0);
        QVERIFY(living.write("image"));
        QCOMPARE(contents(dir.filePath("living.ddd")), QByteArray("image"));
        QCOMPARE(DddFileWriter::removeLeftovers(dir.filePath("missing")), 0);
    }

    // The claim fails with the system's reason before anything is written.
    void claimNeedsWritableFolder_data()
    {
        QTest::addColumn<QString>("folder"); // within the test's temporary folder
        QTest::addColumn<QString>("reason");
        // The system's own words, in whatever language it speaks.
        QTest::newRow("missing") << "missing" << qt_error_string(ENOENT);
        QTest::newRow("plain file") << "file" << qt_error_string(ENOTDIR);
        QTest::newRow("read-only") << "readonly" << "Файловая система доступна только для чтения";
    }
    void claimNeedsWritableFolder()
    {
        QFETCH(QString, folder);
        QFETCH(QString, reason);
        QTemporaryDir top;
        QFile file(top.filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly) && QDir(top.path()).mkdir("readonly"));
        ReadOnlyFolder readOnly(top.filePath("readonly"));
        QVERIFY(readOnly.isReadOnly());

        DddFileWriter writer(top.filePath(folder));
        QVERIFY(!writer.claim("NoName.ddd"));
        QCOMPARE(writer.path(), top.filePath(folder) + "/NoName.ddd");
        QCOMPARE(writer.errorCode(), 5);
        QCOMPARE(writer.errorText(), reason);
        QVERIFY(!writer.write("image"));
        QCOMPARE(entries(top.path()), (QStringList{"file", "readonly"}));
        QCOMPARE(entries(top.filePath("readonly")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCardReaderDddFile)
#include "tst_cardreader_dddfile.moc"
