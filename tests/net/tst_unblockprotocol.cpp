#include "net/KvobProtocol.h"
#include "net/KvobReplyReader.h"

#include <QtTest>

using namespace KvobProtocol;
using State = KvobReplyReader::State;

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
    void requestsAndFrames();
    void unsafeParams();
    void readerCompletesAtAnySplit();
    void readerRejectsBadFrames_data();
    void readerRejectsBadFrames();
    void findPukReplies_data();
    void findPukReplies();
    void statusReplies();
};

void TestUnblockProtocol::requestsAndFrames()
{
    QCOMPARE(buildParamRequest("findPUK", QString(), QString()), QStringLiteral("findPUK('','')"));
    // Placeholders inside a parameter are not filled a second time.
    QCOMPARE(buildParamRequest("findPUK", "%2", "%1"), QStringLiteral("findPUK('%2','%1')"));

    // The size counts characters: the Cyrillic letter takes two bytes.
    const QString request = buildParamRequest("findPUK", "RUM123456789ABCD", QStringLiteral("456а-1234567"));
    const QByteArray frame = frameRequest(request);
    QCOMPARE(request.size(), 42);
    QCOMPARE(frame, QByteArray("[SIZE]:42;\r\n[BODY]:") + request.toUtf8());
}

void TestUnblockProtocol::unsafeParams()
{
    for (const QString& safe : {QStringLiteral("RUD12345678901AB"), QStringLiteral("456а-1234567"), QString()})
        QVERIFY2(isSafeParam(safe), qPrintable(safe));
    for (const QString& unsafe : {QStringLiteral("RUD1'),getStatus('"), QStringLiteral("RUD1\\"),
                                  QStringLiteral("RUD1\n"), QStringLiteral("\rRUD1"), QString(QChar(0)),
                                  QString(QChar(0x7f))})
        QVERIFY2(!isSafeParam(unsafe), qPrintable(unsafe.toUtf8().toHex()));
}

void TestUnblockProtocol::readerCompletesAtAnySplit()
{
    // Every cut falls somewhere: inside the header, inside a two-byte letter,
    // inside a broken sequence; none may change the outcome.
    KvobReplyReader whole;
    QCOMPARE(whole.feed(replyFrame(cyrillicBody)), State::Complete);
    QCOMPARE(whole.body(), cyrillicBody);
    for (const QByteArray& bytes : {replyFrame(cyrillicBody), QByteArray("[SIZE]:4;\r\n[BODY]:a\xf0\xb0-")}) {
        KvobReplyReader once;
        once.feed(bytes);
        for (int cut = 1; cut < bytes.size(); ++cut) {
            KvobReplyReader reader;
            QCOMPARE(reader.feed(bytes.left(cut)), State::Incomplete);
            QCOMPARE(reader.feed(bytes.mid(cut)), once.state());
            QCOMPARE(reader.body(), once.body());
        }
    }

    // Boundaries: an empty body, seven size digits.
    KvobReplyReader empty;
    QCOMPARE(empty.feed("[SIZE]:0;\r\n[BODY]:"), State::Complete);
    QCOMPARE(interpretReply("findPUK", empty.body()).kind, ReplyKind::FormatError);
    KvobReplyReader padded;
    QCOMPARE(padded.feed("[SIZE]:0000005;\r\n[BODY]:abcde"), State::Complete);
    QCOMPARE(padded.body(), QStringLiteral("abcde"));
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
    State state = State::Incomplete;
    for (const QByteArray& chunk : chunks)
        state = reader.feed(chunk);
    QCOMPARE(state, State::FormatError);
    QCOMPARE(reader.body(), QString());
    QCOMPARE(reader.feed("more"), State::FormatError); // a failed reader stays failed
}

void TestUnblockProtocol::findPukReplies_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("expected"); // empty: a format error
    QTest::newRow("puk, empty source, five digit counter")
        << QStringLiteral("<RUD12345678901AB/><123-45678/><57319024/><None/></><99999/>")
        << QStringList{"RUD12345678901AB", "123-45678", "57319024", "None", "", "99999"};
    QTest::newRow("no puk, error text")
        << QStringLiteral("<RUKGAI1234567XYZ/><789A-00001/><None/><PUK не найден/><Архив/><0/>")
        << QStringList{"RUKGAI1234567XYZ", "789A-00001", "None", QStringLiteral("PUK не найден"),
                       QStringLiteral("Архив"), "0"};
    QTest::newRow("six digit counter")
        << QStringLiteral("<RUD12345678901AB/><123-45678/><57319024/><None/></><100000/>") << QStringList();
    QTest::newRow("text after the end")
        << QStringLiteral("<RUD12345678901AB/><123-45678/><57319024/><None/></><1/>x") << QStringList();
    QTest::newRow("status body") << QStringLiteral("<1/></>") << QStringList();
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

void TestUnblockProtocol::statusReplies()
{
    for (const char* ok : {"0", "007", "999", "-10", "-999"})
        QCOMPARE(interpretReply("getStatus", QStringLiteral("<%1/></>").arg(ok)).result, (QStringList{ok, ""}));
    for (const char* bad : {"1000", "-5", "-0", "-1000"})
        QCOMPARE(interpretReply("getStatus", QStringLiteral("<%1/></>").arg(bad)).kind, ReplyKind::FormatError);

    const QString rows = QStringLiteral("'a@b.ru','RUD12345678901AB','Сервер','01.06.2021 10:15:00','Выполнен'\r\n"
                                        "'a@b.ru','RUM123456789ABCD','Архив','02.06.2021','Отклонён'\r\n");
    QCOMPARE(interpretReply("getStatus", QStringLiteral("<-12/><%1/>").arg(rows)).result, (QStringList{"-12", rows}));
    for (const QString& bad : {QStringLiteral("'a','b','c','d'\r\n"),      // four fields
                               QStringLiteral("'a','b','c','d','e'"),      // no line end
                               QStringLiteral("'a','b','','d','e'\r\n"),   // empty field
                               QStringLiteral("'a','b','c','d','e'\n"),    // bare line feed
                               cyrillicBody}) {                            // a findPUK body
        const Reply rejected = interpretReply("getStatus", bad.startsWith('<') ? bad : "<1/><" + bad + "/>");
        QCOMPARE(rejected.kind, ReplyKind::FormatError);
        QVERIFY(rejected.result.isEmpty());
    }

    // An error reply wins over any command's own format.
    for (const char* cmd : {"findPUK", "getStatus", "other"}) {
        const Reply reply = interpretReply(cmd, QStringLiteral("ERROR('Доступ запрещён')"));
        QCOMPARE(reply.kind, ReplyKind::ServerError);
        QVERIFY(reply.result.isEmpty());
    }
    QVERIFY(isErrorReply("ERROR('')"));
    for (const char* notError : {"ERROR('it's')", "ERROR(no quotes)", " ERROR('x')"})
        QVERIFY2(!isErrorReply(notError), notError);
}

QTEST_APPLESS_MAIN(TestUnblockProtocol)
#include "tst_unblockprotocol.moc"
