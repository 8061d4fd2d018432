// Selecting the application and its files, and writing the two writable files.

#include "card/ApduBytes.h"
#include "card/CardFileIds.h"
#include "card/StatusWordTexts.h"
#include "card/TachographCard.h"

namespace {

constexpr int statusOnly = 2;

const QString failSelectDf = QStringLiteral("%1: Не удалось выбрать DF в карте тахографа. %2");
const QString failSelectEf = QStringLiteral("%1: Не удалось выбрать в карте тахографа %2. %3");
const QString failUpdate = QStringLiteral("%1: Не удалось обновить данные карты тахогарфа в %2. %3");
const QString notWritable = QStringLiteral("Выбранный файл 0x%1 не может быть обновлен.");

} // namespace

bool TachographCard::selectDF()
{
    const QByteArray apdu = apduBytes({0x00, 0xA4, 0x04, 0x0C, 0x06, 0xFF, 0x54, 0x41, 0x43, 0x48, 0x4F});
    if (!send(apdu, ApduKind::Select, statusOnly, [this] { return failSelectDf.arg(readerName); }))
        return false;
    dfSelected = true;
    return true;
}

bool TachographCard::selectEF(quint16 fid)
{
    const QByteArray apdu = apduBytes({0x00, 0xA4, 0x02, 0x0C, 0x02, quint8(fid >> 8), quint8(fid)});
    if (!send(apdu, ApduKind::Select, statusOnly,
              [this, fid] { return failSelectEf.arg(readerName).arg(fileName(fid)); }))
        return false;
    currentFid = fid;
    return true;
}

bool TachographCard::updateBinary(qint32 value)
{
    result.reset();
    m_answerLost = false;
    m_notSent = false;
    const quint32 bits = quint32(value);
    QByteArray apdu;
    if (currentFid == CardFileId::calibrationsSinceDownload) {
        apdu = apduBytes({0x00, 0xD6, 0x00, 0x00, 0x02, quint8(bits >> 8), quint8(bits)});
    } else if (currentFid == CardFileId::lastCardDownload) {
        apdu = apduBytes({0x00, 0xD6, 0x00, 0x00, 0x04, quint8(bits >> 24), quint8(bits >> 16), quint8(bits >> 8),
                          quint8(bits)});
    } else {
        result.setNote(2, notWritable.arg(QString::number(currentFid, 16).toUpper()));
        return false;
    }
    return send(apdu, ApduKind::UpdateBinary, statusOnly,
                [this] { return failUpdate.arg(readerName).arg(fileName(currentFid)); });
}
