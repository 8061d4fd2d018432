#include "card/CardOpResult.h"
#include "card/CardStateTexts.h"
#include "card/StatusWordTexts.h"

#include <QtTest>

namespace {

const QString failed = QStringLiteral("ОШИБКА ");

// pcsc-lite hands codes back as 64-bit positive numbers; the platform layer
// narrows them like this.
qint32 fromPcscLite(qint64 rc) { return qint32(quint32(rc)); }

} // namespace

class TstCardOpResult : public QObject
{
    Q_OBJECT

private slots:
    void scardCodeTexts_data();
    void scardCodeTexts();
    void statusWordTexts_data();
    void statusWordTexts();
    void cardStateTextsUseWindowsNumbering();
    void failuresRaiseLevelUntilReset();
};

void TstCardOpResult::scardCodeTexts_data()
{
    QTest::addColumn<qint32>("code");
    QTest::addColumn<QString>("expected");
    const QString unknown =
        QStringLiteral("UnknownError: Неизвестная ошибка. Обратитесь в службу технической поддержки.");
    QTest::newRow("success") << 0 << "(0x0) SCARD_S_SUCCESS: Команда выполнена успешно.";
    QTest::newRow("known, pcsc-lite width") << fromPcscLite(0x80100069LL)
                                            << "(0x80100069) SCARD_W_REMOVED_CARD: Карта была удалена из картридера.";
    QTest::newRow("double blank kept") << fromPcscLite(0x80100008LL)
                                       << "(0x80100008) SCARD_E_INSUFFICIENT_BUFFER:  Буфер данных, выделенный для "
                                          "получения возвращаемых данных слишком мал, для этих данных.";
    QTest::newRow("not transacted, by its own name") << fromPcscLite(0x80100016LL)
                                                     << "(0x80100016) SCARD_E_NOT_TRANSACTED: Не удачный обмен APDU.";
    QTest::newRow("unknown, padded upper hex") << 0xABC << "(0x00000ABC) " + unknown;
    QTest::newRow("minus one") << -1 << "(0xFFFFFFFF) " + unknown;
}

void TstCardOpResult::scardCodeTexts()
{
    QFETCH(qint32, code);
    QFETCH(QString, expected);
    QCOMPARE(CardOpResult::formatScardError(code), expected);
}

void TstCardOpResult::statusWordTexts_data()
{
    QTest::addColumn<quint8>("kind");
    QTest::addColumn<quint16>("sw");
    QTest::addColumn<QString>("expected");
    const QString unknown = QStringLiteral("Неизвестная ошибка. Обратитесь в службу технической поддержки.");
    QTest::newRow("read: no rights") << quint8(ApduKind::ReadBinary) << quint16(0x6982)
                                     << "(0x6982) APDU: Нет прав на чтение выбранного файла.";
    QTest::newRow("sign: same word, other meaning")
        << quint8(ApduKind::Signature) << quint16(0x6982)
        << "(0x6982) APDU: Не выполнены условия использования закрытого ключа.";
    QTest::newRow("verify found by number")
        << quint8(ApduKind::VerifyPin) << quint16(0x63C1)
        << QString::fromUtf8("(0x63\u04211) APDU: ПИН-код указан не верно. До блокировки осталась 1 попытка.");
    QTest::newRow("word missing from kind") << quint8(ApduKind::VerifyPin) << quint16(0x6B00) << "(0x6B00) " + unknown;
    QTest::newRow("zero padded") << quint8(ApduKind::Hash) << quint16(0xAB) << "(0x00AB) " + unknown;
    QTest::newRow("kind out of range") << quint8(7) << quint16(0x9000) << "(0x9000) " + unknown;
}

void TstCardOpResult::statusWordTexts()
{
    QFETCH(quint8, kind);
    QFETCH(quint16, sw);
    QFETCH(QString, expected);
    QCOMPARE(CardOpResult::formatStatusWord(kind, sw), expected);
}

void TstCardOpResult::cardStateTextsUseWindowsNumbering()
{
    QCOMPARE(findCardStateText(6),
             QStringLiteral("SCARD_SPECIFIC: Карта была 'сброшена' и с ней установлен конкретный протокол связи."));
    QVERIFY(findCardStateText(0).isEmpty() && findCardStateText(7).isEmpty());
    // pcsc-lite's own bit for SPECIFIC must not be taken for a state.
    QVERIFY(findCardStateText(0x40).isEmpty());
}

// Failures are marked and raise the level; a later success clears the marks
// but not the level, and a note raises it without touching the texts.
void TstCardOpResult::failuresRaiseLevelUntilReset()
{
    CardOpResult r;
    QVERIFY(r.time().isNull());
    r.setResult(fromPcscLite(0x80100069LL), ApduKind::VerifyPin, 0x6B00);
    QVERIFY(r.scardFailed() && r.apduFailed() && r.maxLevel() == 1);
    QCOMPARE(r.scardText(), failed + "(0x80100069) SCARD_W_REMOVED_CARD: Карта была удалена из картридера.");
    QCOMPARE(r.apduText(), failed + "(0x6B00) Неизвестная ошибка. Обратитесь в службу технической поддержки.");
    quint32 code = 0;
    QString text;
    r.scardResult(code, text);
    QVERIFY(code == 0x80100069u && text == r.scardText());
    r.setResult(0, ApduKind::ReadBinary, 0x9000);
    QVERIFY(!r.scardFailed() && !r.apduFailed() && r.maxLevel() == 1);
    QCOMPARE(r.toString(), QStringLiteral("(0x0) SCARD_S_SUCCESS: Команда выполнена успешно. (0x9000) APDU: "
                                          "Команда выполнена успешно."));
    r.setNote(2, QStringLiteral("refused"));
    r.setNote(1, QStringLiteral("minor"));
    QVERIFY(r.maxLevel() == 2 && r.noteLevel() == 1 && r.note() == QStringLiteral("minor"));
    r.reset();
    QCOMPARE(r.toString(), QStringLiteral(" "));
    QVERIFY(r.note().isEmpty() && r.noteLevel() == 0 && r.maxLevel() == 0 && r.statusWord() == 0);
    // Storing one half keeps the other; only the PC/SC half stamps the time.
    r.setResult(0, ApduKind::Hash, 0x6985);
    const QString apduText = r.apduText();
    r.setScardResult(fromPcscLite(0x80100002LL));
    QVERIFY(r.apduText() == apduText && r.statusWord() == 0x6985);
    QCOMPARE(r.scardText(), failed + "(0x80100002) SCARD_E_CANCELLED: Операция была отменена запросом SCardCancel.");
    const QDateTime afterScard = r.time();
    r.setApduResult(ApduKind::Hash, 0x9000);
    QVERIFY(r.time() == afterScard && !r.apduFailed());
}

QTEST_GUILESS_MAIN(TstCardOpResult)
#include "tst_cardopresult.moc"
