#include "net/KvobProtocol.h"
#include "net/KvobReplyReader.h"

#include <QtTest>

using namespace KvobProtocol;

namespace {

// A valid findPUK reply body with a Cyrillic module number.
const QString cyrillicBody = QStringLiteral("<RUM123456789ABCD/><456а-1234567/><57319024/><None/><Архив/><7/>");

QByteArray replyFrame(const QString& body)
{
    return QStringLiteral("[SIZE]:%1;\r\n[BODY]:").arg(body.size()).toUtf8() + body.toUtf8();
}

} // namespace

class TestUnblockProtocol : public QObject
{
    Q_OBJECT

private slots:
    void requestTexts();
    void framesCountCharacters();
    void unsafeParams_data();
    void unsafeParams();
    void readerCompletesAtAnySplit();
    void readerRejectsBadFrames_data();
    void readerRejectsBadFrames();
    void readerAcceptsEmptyBodyAndPartialHeader();
    void findPukReplies_data();
    void findPukReplies();
    void statusCounters_data();
    void statusCounters();
    void statusRows();
    void errorReplyComesFirst();
};

void TestUnblockProtocol::requestTexts()
{
    QCOMPARE(buildParamRequest("findPUK", "RUD12345678901AB", "123-45678"),
             QStringLiteral("findPUK('RUD12345678901AB','123-45678')"));
    QCOMPARE(buildParamRequest("findPUK", QString(), QString()), QStringLiteral("findPUK('','')"));
    QCOMPARE(buildPlainRequest("getStatus"), QStringLiteral("getStatus()"));
    // Placeholders inside a parameter are not filled a second time.
    QCOMPARE(buildParamRequest("findPUK", "%2", "%1"), QStringLiteral("findPUK('%2','%1')"));

    QCOMPARE(requestCode("findPUK"), quint8(CodeWithParams));
    QCOMPARE(requestCode("getStatus"), quint8(CodeWithoutParams));
    QCOMPARE(requestCode("getstatus"), quint8(CodeWithParams));
}

void TestUnblockProtocol::framesCountCharacters()
{
    QCOMPARE(frameRequest("getStatus()"), QByteArray("[SIZE]:11;\r\n[BODY]:getStatus()"));

    const QString request = buildParamRequest("findPUK", "RUM123456789ABCD", QStringLiteral("456а-1234567"));
    const QByteArray frame = frameRequest(request);
    QCOMPARE(request.size(), 42);
    QVERIFY(frame.startsWith("[SIZE]:42;\r\n[BODY]:findPUK('"));
    // The Cyrillic letter takes two bytes but counts as one character.
    QCOMPARE(frame.size(), int(qstrlen("[SIZE]:42;\r\n[BODY]:")) + 43);
    QCOMPARE(QString::fromUtf8(frame.mid(19)), request);
}

void TestUnblockProtocol::unsafeParams_data()
{
    QTest::addColumn<QString>("param");
    QTest::addColumn<bool>("safe");
    QTest::newRow("card number") << QStringLiteral("RUD12345678901AB") << true;
    QTest::newRow("cyrillic module") << QStringLiteral("456а-1234567") << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("apostrophe") << QStringLiteral("RUD1'),getStatus('") << false;
    QTest::newRow("backslash") << QStringLiteral("RUD1\\") << false;
    QTest::newRow("line feed") << QStringLiteral("RUD1\n") << false;
    QTest::newRow("carriage return") << QStringLiteral("\rRUD1") << false;
    QTest::newRow("nul") << QString(QChar(0)) << false;
    QTest::newRow("delete") << QString(QChar(0x7f)) << false;
}

void TestUnblockProtocol::unsafeParams()
{
    QFETCH(QString, param);
    QFETCH(bool, safe);
    QCOMPARE(isSafeParam(param), safe);
}

void TestUnblockProtocol::readerCompletesAtAnySplit()
{
    const QByteArray bytes = replyFrame(cyrillicBody);
    // Every cut falls somewhere: inside the header, inside a two-byte letter.
    for (int cut = 1; cut < bytes.size(); ++cut) {
        KvobReplyReader reader;
        QCOMPARE(reader.feed(bytes.left(cut)), KvobReplyReader::State::Incomplete);
        QCOMPARE(reader.feed(bytes.mid(cut)), KvobReplyReader::State::Complete);
        QCOMPARE(reader.body(), cyrillicBody);
    }

    KvobReplyReader trickled;
    for (int i = 0; i < bytes.size() - 1; ++i)
        QCOMPARE(trickled.feed(bytes.mid(i, 1)), KvobReplyReader::State::Incomplete);
    QCOMPARE(trickled.feed(bytes.right(1)), KvobReplyReader::State::Complete);
    QCOMPARE(trickled.expectedLength(), 19 + cyrillicBody.size());
    QCOMPARE(trickled.body(), cyrillicBody);
}

void TestUnblockProtocol::readerRejectsBadFrames_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    const QByteArray good = replyFrame(cyrillicBody);
    QTest::newRow("no header") << QByteArrayList{cyrillicBody.toUtf8()};
    QTest::newRow("line feed only") << QByteArrayList{"[SIZE]:3;\n[BODY]:abc"};
    QTest::newRow("eight digits") << QByteArrayList{"[SIZE]:1234567", "8;\r\n[BODY]:"};
    QTest::newRow("letters in size") << QByteArrayList{"[SIZE]:1a;\r\n[BODY]:"};
    QTest::newRow("surplus in same chunk") << QByteArrayList{good + "X"};
    QTest::newRow("surplus later") << QByteArrayList{good.left(10), good.mid(10) + "X"};
    QTest::newRow("surplus half letter") << QByteArrayList{good + "\xd0"};
    QTest::newRow("letter across the end") << QByteArrayList{"[SIZE]:1;\r\n[BODY]:a\xd0", "\xb0"};
}

void TestUnblockProtocol::readerRejectsBadFrames()
{
    QFETCH(QByteArrayList, chunks);
    KvobReplyReader reader;
    KvobReplyReader::State state = KvobReplyReader::State::Incomplete;
    for (const QByteArray& chunk : chunks)
        state = reader.feed(chunk);
    QCOMPARE(state, KvobReplyReader::State::FormatError);
    QCOMPARE(reader.body(), QString());
    // A failed reader stays failed.
    QCOMPARE(reader.feed("more"), KvobReplyReader::State::FormatError);
}

void TestUnblockProtocol::readerAcceptsEmptyBodyAndPartialHeader()
{
    KvobReplyReader empty;
    QCOMPARE(empty.feed("[SIZE]:0;\r\n[BODY]:"), KvobReplyReader::State::Complete);
    QCOMPARE(empty.body(), QString());
    QCOMPARE(interpretReply("findPUK", empty.body()).kind, ReplyKind::FormatError);

    KvobReplyReader partial;
    QCOMPARE(partial.feed("[SIZE]:0000005;\r"), KvobReplyReader::State::Incomplete);
    QVERIFY(!partial.headerReceived());
    QCOMPARE(partial.feed("\n[BODY]:abcd"), KvobReplyReader::State::Incomplete);
    QVERIFY(partial.headerReceived());
    QCOMPARE(partial.feed("e"), KvobReplyReader::State::Complete);
    QCOMPARE(partial.body(), QStringLiteral("abcde"));
}

void TestUnblockProtocol::findPukReplies_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("puk, no error, empty source")
        << QStringLiteral("<RUD12345678901AB/><123-45678/><57319024/><None/></><42/>")
        << QStringList{"RUD12345678901AB", "123-45678", "57319024", "None", "", "42"};
    QTest::newRow("no puk with error text")
        << QStringLiteral("<RUKGAI1234567XYZ/><789A-00001/><None/><PUK не найден/><Архив/><0/>")
        << QStringList{"RUKGAI1234567XYZ", "789A-00001", "None", QStringLiteral("PUK не найден"),
                       QStringLiteral("Архив"), "0"};
    QTest::newRow("cyrillic module number")
        << cyrillicBody
        << QStringList{"RUM123456789ABCD", QStringLiteral("456а-1234567"), "57319024", "None",
                       QStringLiteral("Архив"), "7"};
    QTest::newRow("control card, five digit counter")
        << QStringLiteral("<RUKFSNT123456ABC/><123-1234567/><00000000/><None/><x/><99999/>")
        << QStringList{"RUKFSNT123456ABC", "123-1234567", "00000000", "None", "x", "99999"};
    QTest::newRow("six digit counter") << QStringLiteral("<RUD12345678901AB/><123-45678/><57319024/><None/></><100000/>")
                                       << QStringList();
    QTest::newRow("text after the last element")
        << QStringLiteral("<RUD12345678901AB/><123-45678/><57319024/><None/></><1/>x") << QStringList();
}

void TestUnblockProtocol::findPukReplies()
{
    QFETCH(QString, body);
    QFETCH(QStringList, expected);
    const Reply reply = interpretReply("findPUK", body);
    QCOMPARE(reply.kind, expected.isEmpty() ? ReplyKind::FormatError : ReplyKind::Result);
    QCOMPARE(reply.result, expected);
    // A command the table does not know is read like findPUK.
    QCOMPARE(interpretReply("lookUp", body).result, expected);
}

void TestUnblockProtocol::statusCounters_data()
{
    QTest::addColumn<QString>("counter");
    QTest::addColumn<bool>("valid");
    for (const char* ok : {"0", "007", "999", "-10", "-99", "-999"})
        QTest::newRow(ok) << QString::fromLatin1(ok) << true;
    for (const char* bad : {"1000", "-5", "-0", "-1000"})
        QTest::newRow(bad) << QString::fromLatin1(bad) << false;
}

void TestUnblockProtocol::statusCounters()
{
    QFETCH(QString, counter);
    QFETCH(bool, valid);
    const Reply reply = interpretReply("getStatus", QStringLiteral("<%1/></>").arg(counter));
    QCOMPARE(reply.kind == ReplyKind::Result, valid);
    if (valid)
        QCOMPARE(reply.result, (QStringList{counter, QString()}));
}

void TestUnblockProtocol::statusRows()
{
    const QString rows = QStringLiteral("'a@b.ru','RUD12345678901AB','Сервер','01.06.2021 10:15:00','Выполнен'\r\n"
                                        "'a@b.ru','RUM123456789ABCD','Архив','02.06.2021','Отклонён'\r\n");
    const Reply reply = interpretReply("getStatus", QStringLiteral("<-12/><%1/>").arg(rows));
    QCOMPARE(reply.kind, ReplyKind::Result);
    QCOMPARE(reply.result, (QStringList{"-12", rows}));

    for (const QString& bad : {QStringLiteral("'a','b','c','d'\r\n"),          // four fields
                               QStringLiteral("'a','b','c','d','e'"),          // no line end
                               QStringLiteral("'a','b','','d','e'\r\n"),       // empty field
                               QStringLiteral("'a','b','c','d','e'\n")}) {     // bare line feed
        const Reply rejected = interpretReply("getStatus", QStringLiteral("<1/><%1/>").arg(bad));
        QCOMPARE(rejected.kind, ReplyKind::FormatError);
        QVERIFY(rejected.result.isEmpty());
    }
    // A status body is no findPUK body, and the other way round.
    QCOMPARE(interpretReply("findPUK", QStringLiteral("<1/></>")).kind, ReplyKind::FormatError);
    QCOMPARE(interpretReply("getStatus", cyrillicBody).kind, ReplyKind::FormatError);
}

void TestUnblockProtocol::errorReplyComesFirst()
{
    for (const char* cmd : {"findPUK", "getStatus", "other"}) {
        const Reply reply = interpretReply(cmd, QStringLiteral("ERROR('Доступ запрещён')"));
        QCOMPARE(reply.kind, ReplyKind::ServerError);
        QVERIFY(reply.result.isEmpty());
    }
    QVERIFY(isErrorReply("ERROR('')"));
    QVERIFY(!isErrorReply("ERROR('it's')"));
    QVERIFY(!isErrorReply("ERROR(no quotes)"));
    QVERIFY(!isErrorReply(" ERROR('x')"));
}

QTEST_APPLESS_MAIN(TestUnblockProtocol)
#include "tst_unblockprotocol.moc"
