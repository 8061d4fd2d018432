// The file commands of the card: select, read, write, hash and sign.

#include "tools/vcard/ApduEngine.h"

#include "tools/vcard/CardImage.h"
#include "tools/vcard/CommandApdu.h"
#include "tools/vcard/StatusWord.h"

#include <QCryptographicHash>

namespace {
const QByteArray applicationName = QByteArrayLiteral("\xFF\x54\x41\x43\x48\x4F");
}

ApduEngine::Response ApduEngine::select(const CommandApdu &apdu)
{
    if (apdu.p2 != 0x0C)
        return {StatusWord::wrongParameters, {}};
    if (apdu.p1 == 0x04) {
        if (apdu.data.isEmpty())
            return {StatusWord::wrongLength, {}};
        if (apdu.data != applicationName)
            return {StatusWord::fileNotFound, {}};
        m_applicationSelected = true;
        m_currentFid = 0;
        return {StatusWord::ok, {}};
    }
    if (apdu.p1 != 0x02)
        return {StatusWord::wrongParameters, {}};
    if (apdu.data.size() != 2)
        return {StatusWord::wrongLength, {}};
    const quint16 fid = quint16((quint8(apdu.data.at(0)) << 8) | quint8(apdu.data.at(1)));
    const CardFile *file = m_card->file(fid);
    if (!file || file->inApplication != m_applicationSelected)
        return {StatusWord::fileNotFound, {}};
    m_currentFid = fid;
    return {StatusWord::ok, {}};
}

ApduEngine::Response ApduEngine::readBinary(const CommandApdu &apdu)
{
    if (apdu.p1 & 0x80)
        return {StatusWord::wrongParameters, {}};
    if (!apdu.hasLe || !apdu.data.isEmpty())
        return {StatusWord::wrongLength, {}};
    const CardFile *file = currentFile();
    if (!file)
        return {StatusWord::noCurrentFile, {}};
    if (!mayAccess(file->fid))
        return {StatusWord::securityNotSatisfied, {}};
    const int offset = apdu.p1p2();
    if (offset >= file->data.size())
        return {StatusWord::offsetOutsideFile, {}};
    const QByteArray data = file->data.mid(offset, apdu.le);
    return {data.size() < apdu.le ? StatusWord::endOfFileReached : StatusWord::ok, data};
}

ApduEngine::Response ApduEngine::updateBinary(const CommandApdu &apdu)
{
    if (apdu.p1 & 0x80)
        return {StatusWord::wrongParameters, {}};
    CardFile *file = currentFile();
    if (!file)
        return {StatusWord::noCurrentFile, {}};
    if (!CardImage::isWritable(file->fid) || !mayAccess(file->fid))
        return {StatusWord::securityNotSatisfied, {}};
    if (apdu.data.isEmpty())
        return {StatusWord::wrongLength, {}};
    const int offset = apdu.p1p2();
    if (offset >= file->data.size())
        return {StatusWord::offsetOutsideFile, {}};
    if (offset + apdu.data.size() > file->data.size())
        return {StatusWord::wrongLength, {}};
    file->data.replace(offset, apdu.data.size(), apdu.data);
    return {StatusWord::ok, {}};
}

ApduEngine::Response ApduEngine::performHash(const CommandApdu &apdu)
{
    if (apdu.hasLe || !apdu.data.isEmpty())
        return {StatusWord::wrongLength, {}};
    const CardFile *file = currentFile();
    if (!file)
        return {StatusWord::noCurrentFile, {}};
    if (!mayAccess(file->fid))
        return {StatusWord::securityNotSatisfied, {}};
    // Kind 1 signs with a 256-bit hash, the other kinds with a 160-bit one.
    const auto algorithm = m_card->kind() == 1 ? QCryptographicHash::Sha256 : QCryptographicHash::Sha1;
    m_lastHash = QCryptographicHash::hash(file->data, algorithm);
    return {StatusWord::ok, {}};
}

ApduEngine::Response ApduEngine::computeSignature(const CommandApdu &apdu)
{
    if (!apdu.data.isEmpty() || !apdu.hasLe)
        return {StatusWord::wrongLength, {}};
    if (m_lastHash.isEmpty())
        return {StatusWord::conditionsNotSatisfied, {}};
    const int length = signatureLength();
    if (apdu.le != length && apdu.le != 256)
        return {StatusWord::wrongLength, {}};
    return {StatusWord::ok, signatureOf(m_lastHash, length)};
}
