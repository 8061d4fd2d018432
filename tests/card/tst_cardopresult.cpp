#include "card/CardOpResult.h"
#include "card/CardStateTexts.h"
#include "card/ErrorTexts.h"
#include "card/StatusWordTexts.h"

#include <QtTest>

namespace {

const QString failed = QStringLiteral("ОШИБКА ");

// pcsc-lite hands codes back as 64-bit positive numbers; the platform layer
// narrows them like this.
qint32 fromPcscLite(qint64 rc)
{
    return qint32(quint32(rc));
}

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
    void successLeavesLevelAlone();
    void failuresAreMarkedAndRaiseLevel();
    void noteRaisesLevelUntilReset();
    void partialStoresKeepTheOtherHalf();
    void resetAndConstruction();
};

void TstCardOpResult::scardCodeTexts_data()
{
    QTest::addColumn<qint32>("code");
    QTest::addColumn<QString>("expectedStart");

    QTest::newRow("success") << 0 << "(0x0) SCARD_S_SUCCESS: ";
    QTest::newRow("small known") << 0x6D << "(0x6D) ERROR_BROKEN_PIPE: ";
    QTest::newRow("removed, pcsc-lite width")
        << fromPcscLite(0x80100069LL) << "(0x80100069) SCARD_W_REMOVED_CARD: ";
    QTest::newRow("unknown small")
        << 6 << "(0x00000006) UnknownError: " + unknownErrorText();
    QTest::newRow("unknown hex digits upper")
        << 0xABC << "(0x00000ABC) UnknownError: " + unknownErrorText();
    QTest::newRow("unknown negative")
        << fromPcscLite(0x80100099LL) << "(0x80100099) UnknownError: " + unknownErrorText();
    QTest::newRow("unknown minus one")
        << -1 << "(0xFFFFFFFF) UnknownError: " + unknownErrorText();
}

void TstCardOpResult::scardCodeTexts()
{
    QFETCH(qint32, code);
    QFETCH(QString, expectedStart);
    const QString text = CardOpResult::formatScardError(code);
    QVERIFY2(text.startsWith(expectedStart), qPrintable(text));
    QVERIFY(!text.contains(QLatin1Char('-')));
}

void TstCardOpResult::statusWordTexts_data()
{
    QTest::addColumn<quint8>("kind");
    QTest::addColumn<quint16>("sw");
    QTest::addColumn<QString>("expected");

    const QString unknown = unknownErrorText();
    QTest::newRow("read: no rights") << quint8(ApduKind::ReadBinary) << quint16(0x6982)
                                     << "(0x6982) APDU: Нет прав на чтение выбранного файла.";
    QTest::newRow("sign: same word, other meaning")
        << quint8(ApduKind::Signature) << quint16(0x6982)
        << "(0x6982) APDU: Не выполнены условия использования закрытого ключа.";
    QTest::newRow("unblock success has no full stop")
        << quint8(ApduKind::Unblock) << quint16(0x9000) << "(0x9000) APDU: Команда выполнена успешно";
    QTest::newRow("verify found by number")
        << quint8(ApduKind::VerifyPin) << quint16(0x63C1)
        << QString::fromUtf8("(0x63\u04211) APDU: ПИН-код указан не верно. До блокировки осталась 1 попытка.");
    QTest::newRow("word missing from kind")
        << quint8(ApduKind::VerifyPin) << quint16(0x6B00) << "(0x6B00) " + unknown;
    QTest::newRow("zero padded") << quint8(ApduKind::Select) << quint16(0) << "(0x0000) " + unknown;
    QTest::newRow("partly padded") << quint8(ApduKind::Hash) << quint16(0xAB) << "(0x00AB) " + unknown;
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
    QVERIFY(findCardStateText(6).startsWith(QLatin1String("SCARD_SPECIFIC:")));
    QVERIFY(findCardStateText(0).isEmpty());
    QVERIFY(findCardStateText(7).isEmpty());
    // pcsc-lite's own bit for SPECIFIC must not be taken for a state.
    QVERIFY(findCardStateText(0x40).isEmpty());
}

void TstCardOpResult::successLeavesLevelAlone()
{
    CardOpResult r;
    r.reset();
    const QDateTime before = QDateTime::currentDateTime();
    r.setResult(0, ApduKind::Select, 0x9000);

    QCOMPARE(r.scardFailed(), quint8(0));
    QCOMPARE(r.apduFailed(), quint8(0));
    QCOMPARE(r.maxLevel(), quint8(0));
    QCOMPARE(r.scardText(), CardOpResult::formatScardError(0));
    QCOMPARE(r.apduText(), CardOpResult::formatStatusWord(ApduKind::Select, 0x9000));
    QCOMPARE(r.toString(), r.scardText() + QLatin1Char(' ') + r.apduText());
    QCOMPARE(r.toStringList(), QStringList({r.scardText(), r.apduText()}));
    QVERIFY(r.time() >= before && r.time() <= QDateTime::currentDateTime());
}

void TstCardOpResult::failuresAreMarkedAndRaiseLevel()
{
    CardOpResult r;
    r.reset();
    r.setResult(fromPcscLite(0x80100069LL), ApduKind::VerifyPin, 0x6B00);

    QCOMPARE(r.scardFailed(), quint8(1));
    QCOMPARE(r.apduFailed(), quint8(1));
    QCOMPARE(r.maxLevel(), quint8(1));
    QVERIFY(r.scardText().startsWith(failed + "(0x80100069) SCARD_W_REMOVED_CARD: "));
    QCOMPARE(r.apduText(), failed + "(0x6B00) " + unknownErrorText());

    quint32 code = 0;
    quint32 sw = 0;
    QString text;
    r.scardResult(code, text);
    QCOMPARE(code, 0x80100069u);
    QCOMPARE(text, r.scardText());
    r.apduResult(sw, text);
    QCOMPARE(sw, 0x6B00u);
    QCOMPARE(text, r.apduText());

    // A later success clears the flags but not the highest level.
    r.setResult(0, ApduKind::ReadBinary, 0x9000);
    QCOMPARE(r.scardFailed(), quint8(0));
    QCOMPARE(r.apduFailed(), quint8(0));
    QVERIFY(!r.toString().contains(errorTitle()));
    QCOMPARE(r.maxLevel(), quint8(1));
}

void TstCardOpResult::noteRaisesLevelUntilReset()
{
    CardOpResult r;
    r.reset();
    r.setResult(0, ApduKind::UpdateBinary, 0x9000);
    const QString successText = r.toString();
    r.setNote(2, QStringLiteral("refused"));
    QCOMPARE(r.maxLevel(), quint8(2));
    QCOMPARE(r.toString(), successText);

    r.setNote(1, QStringLiteral("minor"));
    QCOMPARE(r.noteLevel(), quint8(1));
    QCOMPARE(r.note(), QStringLiteral("minor"));
    r.setResult(fromPcscLite(0x8010000CLL), ApduKind::UpdateBinary, 0x6581);
    QCOMPARE(r.maxLevel(), quint8(2));

    r.reset();
    QCOMPARE(r.maxLevel(), quint8(0));
    QVERIFY(r.note().isEmpty());
    QCOMPARE(r.noteLevel(), quint8(0));
}

void TstCardOpResult::partialStoresKeepTheOtherHalf()
{
    CardOpResult r;
    r.reset();
    r.setResult(0, ApduKind::Hash, 0x6985);
    const QString apduText = r.apduText();
    const QDateTime stamped = r.time();

    r.setScardResult(fromPcscLite(0x80100002LL));
    QCOMPARE(r.apduText(), apduText);
    QCOMPARE(r.statusWord(), quint16(0x6985));
    QVERIFY(r.scardText().startsWith(failed + "(0x80100002) "));

    const QDateTime afterScard = r.time();
    QVERIFY(afterScard >= stamped);
    r.setApduResult(ApduKind::Hash, 0x9000);
    QCOMPARE(r.time(), afterScard);
    QCOMPARE(r.apduFailed(), quint8(0));
}

void TstCardOpResult::resetAndConstruction()
{
    CardOpResult fresh;
    QVERIFY(fresh.time().isNull());
    QCOMPARE(fresh.maxLevel(), quint8(0));

    CardOpResult r;
    r.setResult(fromPcscLite(0x80100069LL), ApduKind::Select, 0x6A82);
    r.setNote(2, QStringLiteral("refused"));
    r.reset();
    QCOMPARE(r.toString(), QStringLiteral(" "));
    QCOMPARE(r.scardCode(), 0);
    QCOMPARE(r.statusWord(), quint16(0));
    QCOMPARE(r.scardFailed(), quint8(0));
    QCOMPARE(r.apduFailed(), quint8(0));
    QCOMPARE(r.maxLevel(), quint8(0));
    QCOMPARE(r.time().toSecsSinceEpoch(), qint64(0));
}

QTEST_GUILESS_MAIN(TstCardOpResult)
#include "tst_cardopresult.moc"
