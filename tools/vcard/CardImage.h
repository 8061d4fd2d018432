#pragma once

#include "tools/vcard/CardFile.h"
#include "tools/vcard/Credential.h"

#include <QList>
#include <QMap>

// What the card keeps across power cycles: its files, PIN and PUK.
// File identifiers are unique across the card.
class CardImage
{
public:
    void setFile(quint16 fid, bool inApplication, const QByteArray &data);
    void removeFile(quint16 fid) { m_files.remove(fid); }
    const CardFile *file(quint16 fid) const;
    CardFile *file(quint16 fid);
    QList<CardFile> files() const { return m_files.values(); }
    bool isEmpty() const { return m_files.isEmpty(); }

    // Kind and type as the host identifies them: kind 1 by its GOST
    // certificates, kinds 2 and 3 by the others and the issuing authority;
    // the type is the first byte of the application identification.
    quint8 kind() const;
    quint8 type() const;
    static bool isWritable(quint16 fid);

    Credential &pin() { return m_pin; }
    Credential &puk() { return m_puk; }
    const Credential &pin() const { return m_pin; }
    const Credential &puk() const { return m_puk; }

private:
    bool hasApplicationFile(quint16 fid) const;

    QMap<quint16, CardFile> m_files;
    Credential m_pin{"1234", 3, 3};
    Credential m_puk{"12345678", 3, 3};
};
