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
    void requestsAndFrames()
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

    void unsafeParams()
    {
        for (const QString& safe : {QStringLiteral("RUD12345678901AB"), QStringLiteral("456а-1234567"), QString()})
            QVERIFY2(isSafeParam(safe), qPrintable(safe));
        for (const QString& unsafe : {QStringLiteral("RUD1'),getStatus('"), QStringLiteral("RUD1\\"),
                                      QStringLiteral("RUD1\n"), QStringLiteral("\rRUD1"), QString(QChar(0)),
                                      QString(QChar(0x7f))})
            QVERIFY2(!isSafeParam(unsafe), qPrintable(unsafe.toUtf8().toHex()));
    }

    void readerCompletesAtAnySplit()
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

    void readerRejectsBadFrames_data()
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

    void readerRejectsBadFrames()
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

    void replies_data()
    {
        QTest::addColumn<QString>("cmd");
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("result");
        const int ok = int(ReplyKind::Result), bad = int(ReplyKind::FormatError), refused = int(ReplyKind::ServerError);
        const QString puk = "<RUD12345678901AB/><123-45678/><57319024/><None/></>";
        const QString rows = QStringLiteral("'a@b.ru','RUD12345678901AB','Сервер','01.06.2021 10:15:00','Выполнен'\r\n"
                                            "'a@b.ru','RUM123456789ABCD','Архив','02.06.2021','Отклонён'\r\n");
        const struct { const char* name; QString cmd, body; int kind; QStringList result; } table[] = {
            {"puk, empty source", "findPUK", puk + "<99999/>", ok,
             {"RUD12345678901AB", "123-45678", "57319024", "None", "", "99999"}},
            {"no puk, error text", "findPUK",
             QStringLiteral("<RUKGAI1234567XYZ/><789A-00001/><None/><нет/><Архив/><0/>"), ok,
             {"RUKGAI1234567XYZ", "789A-00001", "None", QStringLiteral("нет"), QStringLiteral("Архив"), "0"}},
            {"six digit counter", "findPUK", puk + "<100000/>", bad, {}},
            {"text after the end", "findPUK", puk + "<1/>x", bad, {}},
            {"status body as findPUK", "findPUK", "<1/></>", bad, {}},
            {"status rows", "getStatus", "<-12/><" + rows + "/>", ok, {"-12", rows}},
            {"findPUK body as status", "getStatus", cyrillicBody, bad, {}},
            {"four fields", "getStatus", "<1/><'a','b','c','d'\r\n/>", bad, {}},
            {"no line end", "getStatus", "<1/><'a','b','c','d','e'/>", bad, {}},
            {"empty field", "getStatus", "<1/><'a','b','','d','e'\r\n/>", bad, {}},
            {"bare line feed", "getStatus", "<1/><'a','b','c','d','e'\n/>", bad, {}},
            {"error reply wins", "findPUK", QStringLiteral("ERROR('Доступ запрещён')"), refused, {}},
            {"apostrophe in error", "getStatus", "ERROR('it's')", bad, {}},
            {"error without quotes", "other", "ERROR(no quotes)", bad, {}},
            {"blank before error", "getStatus", " ERROR('x')", bad, {}}};
        for (const auto& row : table)
            QTest::newRow(row.name) << row.cmd << row.body << row.kind << row.result;

        // What the grammars let through, whatever a pattern engine would make
        // of it: texts that hold the separators, every card number form, long
        // replies; nothing after the last element.
        const QString module = "/><123-45678/><";
        const QString big = QString(100000, QChar(0x436));
        const struct { const char* name; QString cmd, body; int kind; QStringList result; } grammar[] = {
            {"separator in error", "findPUK", "<RUP123456789ABCD" + module + "None/><a/><b/><c/><7/>", ok,
             {"RUP123456789ABCD", "123-45678", "None", "a/><b", "c", "7"}},
            {"separator in source", "findPUK", "<RUKFSNT123456A1Z" + module + "57319024/><None/><x/><y/><12345/>", ok,
             {"RUKFSNT123456A1Z", "123-45678", "57319024", "None", "x/><y", "12345"}},
            {"empty error", "findPUK", "<RUD12345678901AB" + module + "None/></><src/><7/>", bad, {}},
            {"line feed in error", "findPUK", "<RUD12345678901AB" + module + "None/><a\nb/><c/><7/>", bad, {}},
            {"long error", "findPUK", "<RUD12345678901AB" + module + "None/><" + big + "/><c/><7/>", ok,
             {"RUD12345678901AB", "123-45678", "None", big, "c", "7"}},
            {"lower-case tail", "findPUK", "<RUD12345678901ab" + module + "None/><None/></><7/>", bad, {}},
            {"fifteen-character number", "findPUK", "<RUD1234567890AB" + module + "None/><None/></><7/>", bad, {}},
            {"four-digit module", "findPUK", "<RUD12345678901AB/><123-1234/><None/><None/></><7/>", bad, {}},
            {"eight-digit module", "findPUK", "<RUD12345678901AB/><123-12345678/><None/><None/></><7/>", bad, {}},
            {"other letter in module", "findPUK", QStringLiteral("<RUD12345678901AB/><123Б-12345/><None/><None/></><7/>"),
             bad, {}},
            {"line feed after findPUK", "findPUK", puk + "<7/>\n", bad, {}},
            {"quotes and commas in fields", "getStatus", "<5/><'it's','a,b','\r','d','e'\r\n/>", ok,
             {"5", "'it's','a,b','\r','d','e'\r\n"}},
            {"six fields", "getStatus", "<5/><'a','b','c','d','e','f'\r\n/>", ok,
             {"5", "'a','b','c','d','e','f'\r\n"}},
            {"row without end", "getStatus", "<5/><'a','b','c','d','e'\r\n'a','b','c','d','e'/>", bad, {}},
            {"line feed after status", "getStatus", "<5/></>\n", bad, {}},
            {"line feed in error reply", "getStatus", "ERROR('a\nb')", refused, {}},
            {"line feed after error reply", "getStatus", "ERROR('a')\n", bad, {}},
        };
        for (const auto& row : grammar)
            QTest::newRow(row.name) << row.cmd << row.body << row.kind << row.result;
        // The backtracking engine gave up on this many rows.
        const QString rowText = QStringLiteral("'a@b.ru','RUD12345678901AB','Сервер','01.06.2021 10:15:00','Выполнен'\r\n");
        QTest::newRow("5000 rows") << "getStatus" << "<42/><" + rowText.repeated(5000) + "/>" << ok
                                   << QStringList{"42", rowText.repeated(5000)};
        for (const char* counter : {"0", "007", "999", "-10", "-999"})
            QTest::newRow(counter) << "getStatus" << QStringLiteral("<%1/></>").arg(counter) << ok
                                   << QStringList{counter, ""};
        for (const char* counter : {"1000", "-5", "-0", "-1000"})
            QTest::newRow(counter) << "getStatus" << QStringLiteral("<%1/></>").arg(counter) << bad << QStringList();
    }

    void replies()
    {
        QFETCH(QString, cmd);
        QFETCH(QString, body);
        QFETCH(int, kind);
        QFETCH(QStringList, result);
        const Reply reply = interpretReply(cmd, body);
        QCOMPARE(int(reply.kind), kind);
        QCOMPARE(reply.result, result);
    }
};

QTEST_APPLESS_MAIN(TestUnblockProtocol)
#include "tst_unblockprotocol.moc"
