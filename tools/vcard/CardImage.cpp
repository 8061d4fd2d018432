#include "tools/vcard/CardImage.h"

void CardImage::setFile(quint16 fid, bool inApplication, const QByteArray &data)
{
    m_files.insert(fid, CardFile{fid, inApplication, data});
}

const CardFile *CardImage::file(quint16 fid) const
{
    const auto it = m_files.constFind(fid);
    return it == m_files.constEnd() ? nullptr : &it.value();
}

CardFile *CardImage::file(quint16 fid)
{
    const auto it = m_files.find(fid);
    return it == m_files.end() ? nullptr : &it.value();
}

bool CardImage::hasApplicationFile(quint16 fid) const
{
    const CardFile *f = file(fid);
    return f && f->inApplication;
}

quint8 CardImage::kind() const
{
    if (hasApplicationFile(0xC200) && hasApplicationFile(0xC208))
        return 1;
    if (!hasApplicationFile(0xC100) || !hasApplicationFile(0xC108))
        return 0;
    const CardFile *identification = file(0x0520);
    if (!identification || identification->data.size() < 53 || identification->data.at(4) != '1')
        return 2;
    const QByteArray authority = identification->data.mid(18, 35).trimmed().toUpper();
    return authority == "RUSAUTOCARD" ? 3 : 2;
}

quint8 CardImage::type() const
{
    const CardFile *identification = file(0x0501);
    return identification && !identification->data.isEmpty() ? quint8(identification->data.at(0)) : 0;
}

bool CardImage::isWritable(quint16 fid)
{
    return fid == 0x0509 || fid == 0x050E;
}
