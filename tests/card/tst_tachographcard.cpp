// The card layer against the card model in-process: chunking, size rules,
// refusals, interruption, broken answers and the card information texts.

#include "tests/card/ReadCardFile.h"
#include "tests/support/RealLog.h"

#include "card/CardDataElement.h"
#include "tools/vcard/ApduEngine.h"
#include "tools/vcard/CardImage.h"
#include "tools/vcard/CardProfiles.h"
#include "tools/vcard/ProfileDescription.h"

#include <QDate>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// The card model behind a transmitter that records every APDU; `tamper` may
// change the answer and return a PC/SC code.
struct ModelCard
{
    explicit ModelCard(const QString &profile, TachographCard &card)
    {
        CardProfiles::build(profile, QDateTime::currentDateTimeUtc().date(), &image);
        card.readerName = QStringLiteral("R");
        card.cardKind = image.kind();
        card.cardType = image.type();
        card.setTransmitter([this](const QByteArray &apdu, quint8 *response, quint32 *length) {
            sent << QByteArray(apdu.constData(), apdu.size());
            buffers << apdu;
            QByteArray answer = engine.transmit(apdu);
            const qint32 code = tamper ? tamper(answer) : 0;
            if (quint32(answer.size()) > *length)
                return Pcsc::SCARD_E_INSUFFICIENT_BUFFER;
            std::memcpy(response, answer.constData(), size_t(answer.size()));
            *length = quint32(answer.size());
            return code;
        });
        QObject::connect(&card, &TachographCard::logginMessage, [this](uchar, const QString &m) { logged << m; });
        RealLog::attach(&card, &TachographCard::logginMessage);
        QObject::connect(&card, &TachographCard::pogressMessage, [this](const QString &m) { progress << m; });
    }
    void patch(quint16 fid, int offset, const QByteArray &b) { image.file(fid)->data.replace(offset, b.size(), b); }
    void clear() { sent.clear(), buffers.clear(), logged.clear(), progress.clear(); }

    CardImage image;
    ApduEngine engine{&image};
    // What went on the wire, and the command buffers themselves.
    QList<QByteArray> sent;
    QList<QByteArray> buffers;
    QStringList logged;
    QStringList progress;
    std::function<qint32(QByteArray &)> tamper;
};

quint8 rowOf(quint16 fid)
{
    const QVector<CardAppLayout> &rows = CardDictionary::efDescriptors();
    return quint8(std::find_if(rows.cbegin(), rows.cend(), [fid](const CardAppLayout &r) { return r.fid == fid; })
                  - rows.cbegin());
}

} // namespace

class TestTachographCard : public QObject
{
    Q_OBJECT

private slots:
    void chunkedReadsAndProgress();
    void cyclicFileSizes();
    void certificateSizesOfKind1();
    void brokenAnswersFailTheCommand();
    void refusalsSendNothing();
    void interruptionStopsAllTraffic();
    void writeWhoseAnswerWasLost_data();
    void writeWhoseAnswerWasLost();
    void pinBytesAndFailureTexts();
    void accessorsOnProfiles_data();
    void accessorsOnProfiles();
    void accessorsWithoutOrWithOddData();
    void cleanupTestCase() { QCOMPARE(RealLog::secretsFound({"1234", "12345678", "123456"}), QStringList()); }
};

void TestTachographCard::chunkedReadsAndProgress()
{
    TachographCard card;
    ModelCard model(QStringLiteral("driver-estr"), card);
    QVERIFY(card.selectDF() && card.selectEF(0x0504));
    model.clear();
    QByteArray out = "stale";
    QVERIFY(card.readBinary(0, 600, &out));
    QCOMPARE(model.sent, (QList<QByteArray>{hex("00B00000FF"), hex("00B000FFFF"), hex("00B001FE5A")}));
    QCOMPARE(out, model.image.file(0x0504)->data.left(600));
    QCOMPARE(model.progress.size(), 3);
    QCOMPARE(model.progress.first(), QStringLiteral("Чтение EFDriverActivityData ... 255 из 600 байт"));
    QCOMPARE(model.progress.last(), QStringLiteral("Чтение EFDriverActivityData ... 600 из 600 байт"));

    model.clear();
    QVERIFY(card.readBinary(1, 16, &out));
    QCOMPARE(model.sent, QList<QByteArray>{hex("00B0000110")});
    QVERIFY(card.readBinary(0, 0, &out) && out.isEmpty());
    QCOMPARE(model.sent.size(), 1);

    // A failure names the chunk it happened in.
    model.clear();
    model.tamper = [&model](QByteArray &) { return model.sent.size() == 2 ? Pcsc::SCARD_W_REMOVED_CARD : 0; };
    QVERIFY(!card.readBinary(0, 600, &out));
    QCOMPARE(model.logged.size(), 1);
    QVERIFY(model.logged.first().startsWith(
        QStringLiteral("R: Не удалось считать данные с карты тахографа EFDriverActivityData 255 ... 600. ")));
    QCOMPARE(model.progress, QStringList{QStringLiteral("Чтение EFDriverActivityData ... 255 из 600 байт")});
}

// Cyclic file sizes come from the application file: missing, usable, and
// so large they would overflow or wrap; each refusal sends nothing.
void TestTachographCard::cyclicFileSizes()
{
    TachographCard card;
    ModelCard model(QStringLiteral("driver-estr"), card);
    QVERIFY(card.selectDF() && card.selectEF(0x0502));
    model.clear();
    QVERIFY(!card.readCurrentEf(rowOf(0x0502), 0x0001));
    QCOMPARE(card.result.note(),
             QStringLiteral("Отсутствуют исходные данные для расчета размера циклического файла: 0x502"));
    QVERIFY(model.sent.isEmpty() && model.logged.isEmpty());

    model.patch(0x0501, 5, hex("0258")); // activityStructureLength 600
    QVERIFY(readCardFile(card, 0x0501) && card.selectEF(0x0504));
    model.clear();
    QVERIFY(card.readCurrentEf(rowOf(0x0504), 0x0001));
    QCOMPARE(model.sent.size(), 3);
    QCOMPARE(model.sent.last(), hex("00B001FE5E"));
    const CardFileRecord *activity = card.readData.value(0x0504);
    QCOMPARE(activity->data, model.image.file(0x0504)->data.left(604));
    QVERIFY(activity->length == 604 && activity->count == 600);

    model.patch(0x0501, 3, hex("FF"));   // 255 events of 144 bytes
    model.patch(0x0501, 5, hex("FFFF")); // 65535 + 4 would wrap to 3 in 16 bits
    QVERIFY(readCardFile(card, 0x0501));
    for (const quint16 fid : {0x0502, 0x0504}) {
        QVERIFY(card.selectEF(fid));
        model.clear();
        QVERIFY(!card.readCurrentEf(rowOf(fid), 0x0001));
        QCOMPARE(card.result.noteLevel(), quint8(2));
        QVERIFY(model.sent.isEmpty() && model.logged.isEmpty());
    }
    QByteArray out;
    QVERIFY(!card.readBinary(0x7FFF, 2, &out));
    QVERIFY(model.sent.isEmpty());
    card.readBinary(0x7FFF, 1, &out);
    QCOMPARE(model.sent.value(0), hex("00B07FFF01"));

    QVERIFY(card.selectEF(0x0501));
    QVERIFY(!card.readCurrentEf(200, 0));
    QCOMPARE(card.result.note(),
             QStringLiteral("Текущий файл 0x501 не соответствует указанному для считывания файлу 0x0."));
}

// Kind 1 certificates take their length from a header in the first bytes
// and are kept padded to 1000 bytes (the whole-read test compares them): a
// length that cannot fit is refused.
void TestTachographCard::certificateSizesOfKind1()
{
    TachographCard card;
    ModelCard model(QStringLiteral("driver-rfskzi"), card);
    card.pin = SecretBytes("1234");
    model.patch(0xC208, 2, hex("03E5")); // 997 + 4 does not fit the 1000 bytes
    QVERIFY(card.selectDF() && card.verifyPin() && card.selectEF(0xC208));
    model.clear();
    QVERIFY(!card.readCurrentEf(rowOf(0xC208), 0x0100));
    QCOMPARE(model.sent, QList<QByteArray>{hex("00B0000202")}); // the length header only
    QCOMPARE(card.result.noteLevel(), quint8(2));
    QVERIFY(!card.readData.contains(0xC208));
}

void TestTachographCard::brokenAnswersFailTheCommand()
{
    TachographCard card;
    ModelCard model(QStringLiteral("driver-estr"), card);
    QVERIFY(card.selectDF() && card.selectEF(0x0520));
    QVERIFY(card.readCurrentEf(rowOf(0x0520), 0x0001));
    const QByteArray kept = card.readData.value(0x0520)->data;

    const QList<std::function<qint32(QByteArray &)>> faults{
        [](QByteArray &a) { a = a.right(1); return 0; },              // no status word
        [](QByteArray &a) { a.clear(); return Pcsc::SCARD_W_REMOVED_CARD; },
        [](QByteArray &a) { a[a.size() - 1] = '\x01'; return 0; },    // 9001 is no success
        [](QByteArray &a) { a.remove(0, 1); return 0; },              // one byte short, still 9000
        [](QByteArray &a) { a.prepend('\x55'); return 0; },           // one byte too many
    };
    for (const auto &fault : faults) {
        model.clear();
        model.tamper = fault;
        QVERIFY(!card.readCurrentEf(rowOf(0x0520), 0x0001));
        QCOMPARE(model.logged.size(), 1);
        QVERIFY(model.logged.first().startsWith(
            QStringLiteral("R: Не удалось считать данные с карты тахографа EFIdentification 0 ... 143. ")));
        QCOMPARE(card.readData.value(0x0520)->data, kept);
    }
    QVERIFY(model.logged.first().endsWith(QStringLiteral("Карта вернула 144 байт вместо 143.")));

    model.tamper = [](QByteArray &a) { a = a.right(1); return 0; };
    QVERIFY(!card.selectDF());
    QCOMPARE(card.result.statusWord(), quint16(0));
    QCOMPARE(card.result.apduFailed(), quint8(1));
}

void TestTachographCard::refusalsSendNothing()
{
    TachographCard card;
    ModelCard model(QStringLiteral("driver-estr"), card);
    const QList<QPair<std::function<bool()>, QString>> refusals{
        {[&] { return card.readCurrentEf(13, 1); },
         QStringLiteral("Перед считыванием данных с карты необходимо выбрать файл из которого они должны быть считаны.")},
        {[&] { return card.performHash(); },
         QStringLiteral("Перед расчетом хеша файла необходимо выбрать файл по которому он должен быть рассчитан.")},
        {[&] { return card.computeSignature(); },
         QStringLiteral("Перед формированием электронной подписи необходимо выбрать файл по которого она должна быть "
                        "сформирована.")},
        {[&] { return card.verifyPin(); }, QStringLiteral("ПИН-код не задан.")},
        {[&] { card.pin = SecretBytes("1234"); return card.unblockPin(); }, QStringLiteral("ПАК-код не задан.")},
        {[&] { card.puk = SecretBytes("123456789"); return card.unblockPin(); }, QStringLiteral("ПАК-код длиннее 8 байт.")},
        {[&] { card.puk = SecretBytes("12345678"); card.pin = SecretBytes("123456789"); return card.unblockPin(); },
         QStringLiteral("ПИН-код длиннее 8 байт.")},
        {[&] { card.pin.wipe(); return card.unblockPin(); }, QStringLiteral("ПИН-код не задан.")},
        {[&] { card.currentFid = 0x0520; return card.updateBinary(1); },
         QStringLiteral("Выбранный файл 0x520 не может быть обновлен.")},
        {[&] { return card.readCurrentEf(rowOf(0x0501), 0); },
         QStringLiteral("Текущий файл 0x520 не соответствует указанному для считывания файлу 0x501.")},
        {[&] { card.cardKind = 0; return card.computeSignature(); },
         QStringLiteral("Для карты вида 0 не определены параметры электронной подписи.")},
    };
    for (const auto &refusal : refusals) {
        QVERIFY(!refusal.first());
        QCOMPARE(card.result.note(), refusal.second);
        QCOMPARE(card.result.maxLevel(), quint8(2));
    }
    QVERIFY(model.sent.isEmpty() && model.logged.isEmpty());
    // The signing step shows before its parameters are looked at.
    QCOMPARE(model.progress, QStringList{QStringLiteral("Формирование ЭП EFIdentification")});
}

void TestTachographCard::interruptionStopsAllTraffic()
{
    TachographCard card;
    ModelCard model(QStringLiteral("workshop-estr"), card);
    QVERIFY(card.selectDF() && card.selectEF(0x050A));
    model.clear();
    // During the last chunk: the whole read is dropped.
    connect(&card, &TachographCard::pogressMessage, &card, [&card](const QString &msg) {
        if (msg.endsWith(QStringLiteral(" 600 из 600 байт")))
            card.on_InterruptAllOperation();
    });
    QByteArray out;
    QVERIFY(!card.readBinary(0, 600, &out));
    QVERIFY(out.isEmpty());
    QCOMPARE(model.sent.size(), 3);

    card.pin = SecretBytes("1234");
    card.puk = SecretBytes("12345678");
    card.atrLength = 5;
    QVERIFY(!card.updateCardStatus());
    QCOMPARE(card.atrLength, 0u);
    QVERIFY(!card.readBinary(0, 0, &out));
    QVERIFY(!card.selectDF() && !card.selectEF(0x0509) && !card.updateBinary(0) && !card.performHash());
    QVERIFY(!card.computeSignature() && !card.verifyPin() && !card.unblockPin());
    QVERIFY(!card.readCurrentEf(rowOf(0x050A), 0x0002));
    QCOMPARE(model.sent.size(), 3);
    QVERIFY(model.logged.isEmpty());
    QVERIFY(!card.readData.contains(0x050A));
}

// Only a command that went out and got no answer may have reached the card
// unseen; one PC/SC refused before sending never did. What the command
// before it left must not count for it.
void TestTachographCard::writeWhoseAnswerWasLost_data()
{
    QTest::addColumn<QString>("mishap"); // a PC/SC code as 0x...
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("lost");
    QTest::addColumn<bool>("notSent");
    QTest::newRow("answered 9000") << "" << true << false << false;
    QTest::newRow("answered 6581") << "6581" << false << false << false;
    QTest::newRow("no status word") << "empty" << false << true << false;
    QTest::newRow("one byte") << "one byte" << false << true << false;
    QTest::newRow("not transacted") << "0x80100016" << false << true << false;
    QTest::newRow("card removed") << "0x80100069" << false << true << false;
    QTest::newRow("no smart card") << "0x8010000C" << false << true << false;
    QTest::newRow("reset by another program") << "0x80100068" << false << false << true;
    QTest::newRow("sharing violation") << "0x8010000B" << false << false << true;
    QTest::newRow("invalid handle") << "0x80100003" << false << false << true;
    QTest::newRow("service gone before the command") << "0x8010001D" << false << false << true;
    QTest::newRow("service gone with the command unread") << "0x8010006A" << false << false << true;
    QTest::newRow("interrupted") << "interrupted" << false << false << false;
    QTest::newRow("refused by the program") << "refused" << false << false << false;
}

void TestTachographCard::writeWhoseAnswerWasLost()
{
    QFETCH(QString, mishap);
    QFETCH(bool, written);
    TachographCard card;
    ModelCard model(QStringLiteral("workshop-estr"), card);
    QVERIFY(card.selectDF() && card.selectEF(0x0509));
    const auto tamper = [mishap](QByteArray &a) {
        if (mishap == "6581")
            a = hex("6581");
        else if (mishap == "one byte")
            a = a.left(1);
        else if (!mishap.isEmpty())
            a.clear();
        return mishap.startsWith("0x") ? qint32(mishap.toUInt(nullptr, 16)) : 0;
    };
    card.pin = SecretBytes("5678");
    const QList<std::function<bool()>> commands{[&] { return card.updateBinary(0x07E2); },
                                                [&] { return card.unblockPin(); }};
    for (const auto &command : commands) {
        for (const quint32 before : {0x80100016u, 0x80100068u}) { // a lost answer, a command not sent
            card.interrupted = false;
            card.currentFid = 0x0509;
            card.puk = SecretBytes("12345678");
            model.tamper = [before](QByteArray &a) { a.clear(); return qint32(before); };
            QVERIFY(!command() && card.answerLost() != card.notSent());
            model.tamper = tamper;
            if (mishap == "interrupted")
                card.on_InterruptAllOperation();
            if (mishap == "refused") {
                card.currentFid = 0x0520;
                card.puk.wipe();
            }
            QCOMPARE(command(), written);
            QTEST(card.answerLost(), "lost");
            QTEST(card.notSent(), "notSent");
        }
    }
}

// PIN padding on the wire, commands that carried a secret overwritten once
// the card answered, and failures that name the file in the log.
void TestTachographCard::pinBytesAndFailureTexts()
{
    TachographCard card;
    ModelCard model(QStringLiteral("workshop-estr"), card);
    for (const QByteArray &pin : {QByteArray("12"), QByteArray("123456")}) {
        card.pin = SecretBytes(pin);
        card.verifyPin();
    }
    card.puk = SecretBytes("12345678");
    card.unblockPin();
    QCOMPARE(model.sent, (QList<QByteArray>{hex("002000000831320000FFFFFFFF"), hex("002000000831323334FFFFFFFF"),
                                            hex("002C0000103132333435363738313233343536FFFF")}));
    for (const QByteArray &buffer : qAsConst(model.buffers))
        QCOMPARE(buffer, QByteArray(buffer.size(), '\0'));

    FaultPlan plan;
    plan.forceStatus(CommandKind::Hash, 1, 0x6A88);
    plan.forceStatus(CommandKind::Update, 1, 0x6581);
    plan.forceStatus(CommandKind::Select, 3, 0x6A82);
    model.engine.setFaultPlan(plan);
    QVERIFY(card.selectDF() && card.selectEF(0x0509));
    QVERIFY(!card.performHash());
    QCOMPARE(model.logged.last(), QStringLiteral("R: Не удалось раcсчитать хэш EFCardDownload. ") + card.result.toString());
    QVERIFY(!card.updateBinary(7));
    QCOMPARE(model.logged.last(),
             QStringLiteral("R: Не удалось обновить данные карты тахогарфа в EFCardDownload. ") + card.result.toString());
    QVERIFY(!card.selectEF(0x0520));
    QCOMPARE(model.logged.last(), QStringLiteral("R: Не удалось выбрать в карте тахографа EFIdentification. ")
                                      + card.result.toString());
    QCOMPARE(card.currentFid, quint16(0x0509));
    // A two-byte file takes the low half of the value.
    QVERIFY(card.updateBinary(0x12345));
    QCOMPARE(model.sent.last(), hex("00D60000022345"));
    QCOMPARE(model.image.file(0x0509)->data, hex("2345"));
}

void TestTachographCard::accessorsOnProfiles_data()
{
    QTest::addColumn<QString>("profile");
    for (const QString &name : CardProfiles::names())
        QTest::newRow(qPrintable(name)) << name;
}

void TestTachographCard::accessorsOnProfiles()
{
    QFETCH(QString, profile);
    const ProfileDescription *d = CardProfiles::find(profile);
    TachographCard card;
    ModelCard model(profile, card);
    for (const quint16 fid : {0x0002, 0x0005, 0x0501, 0x0520, 0x050E, 0x0521, 0x0509}) {
        quint8 index = 0;
        quint16 key = 0;
        if (CardDictionary::findFileEntry(fid, card.cardKind, card.cardType, index, key))
            QVERIFY(readCardFile(card, fid));
    }
    const auto text = [](const char *utf8) { return QString::fromUtf8(utf8); };
    QCOMPARE(card.cardNumber(), text(d->cardNumber));
    if (d->kind > 0) // a card of kind 0 shows whatever its ICC file holds
        QCOMPARE(card.skziNumber(), d->kind > 1 ? QStringLiteral("Неприменимо") : text(d->moduleNumber));
    const QStringList kindNames{"Неопределенный", "РФСКЗИ", "ЕСТР", "РФ"};
    QCOMPARE(card.cardKindName(), kindNames.at(d->kind));
    QCOMPARE(card.organisationName(), d->type == 1 ? QString() : text(d->organisation));
    QCOMPARE(card.holderName(), d->type == 4 ? QString() : text(d->holderSurname) + ' ' + text(d->holderFirstNames));
    QCOMPARE(card.cardHolderBirthDate(),
             QDate::fromString(text(d->birthDate), QStringLiteral("yyyyMMdd")).toString(QStringLiteral("dd.MM.yyyy")));
    QCOMPARE(card.lastCardDownload().isEmpty(), d->type != 1);
    QCOMPARE(card.drivingLicenceNumber(), d->type == 1 ? QStringLiteral("7701123456") : QString());
    QCOMPARE(card.noOfCalibrationsSinceDownload().isEmpty(), d->type != 2);
}

// Empty or odd data, unknown states, and what reset keeps.
void TestTachographCard::accessorsWithoutOrWithOddData()
{
    TachographCard card;
    QVERIFY(card.result.time().isNull());
    QVERIFY(card.cardNumber().isEmpty() && card.cardHolderBirthDate().isEmpty() && card.holderName().isEmpty());

    auto *identification = new CardFileRecord;
    card.readData.insert(0x0520, identification);
    const auto set = [identification](const char *name, const QVariant &value) {
        identification->fields.insert(QString::fromLatin1(name), {{}, {}, {}, value});
    };
    set("holderSurname", QStringLiteral("Иванов"));
    set("cardHolderBirthDate", QDate());
    set("cardIssueDate", QDate());
    set("cardExpiryDate", QDateTime(QDate(2030, 1, 1), QTime(23, 30), Qt::UTC));
    card.cardType = 1;
    QCOMPARE(card.holderName(), QStringLiteral("Иванов "));
    QCOMPARE(card.cardHolderBirthDate(), QStringLiteral("Некорректная дата"));
    QCOMPARE(card.cardIssueDate(), QString());
    QCOMPARE(card.cardExpiryDate(), QStringLiteral("01.01.2030"));

    card.cardState = 0x12345;
    QCOMPARE(card.cardStateText(),
             QStringLiteral("(0x12345) Неизвестный статус. Обратитесь в службу технической поддержки."));
    card.atr[0] = 0x3B, card.atr[1] = 0x0A, card.atrLength = 2;
    QCOMPARE(card.atrHex(), QStringLiteral("3B0A"));
    card.readData.insert(1, new CardFileRecord);
    card.pin = SecretBytes("1"), card.puk = SecretBytes("2"), card.interrupted = true;
    card.reset();
    QVERIFY(card.atrHex().isEmpty() && card.atr[0] == 0 && card.readData.isEmpty() && card.pin.isEmpty());
    QVERIFY(card.puk.bytes() == "2" && card.interrupted);
}

QTEST_GUILESS_MAIN(TestTachographCard)
#include "tst_tachographcard.moc"
