#pragma once

#include <QtGlobal>

// Signature parameters of one card kind.
struct CardKindParams
{
    quint8 signatureTag = 0;
    quint8 reserved = 0;
    quint8 signatureLength = 0;
};
