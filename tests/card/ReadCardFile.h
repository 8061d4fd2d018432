#pragma once

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "card/TachographCard.h"

// Selects, reads and decodes one file the way the card reader does. Files of
// the master file must be read before the application is selected.
inline bool readCardFile(TachographCard &card, quint16 fid)
{
    quint8 index = 0;
    quint16 key = 0;
    if (!CardDictionary::findFileEntry(fid, card.cardKind, card.cardType, index, key))
        return false;
    if (CardDictionary::efDescriptors().at(index).inTachoDF && !card.dfSelected && !card.selectDF())
        return false;
    if (!card.selectEF(fid) || !card.readCurrentEf(index, key))
        return false;
    return card.readData.value(fid)->decode();
}
