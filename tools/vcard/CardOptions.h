#pragma once

#include "tools/vcard/CardPatch.h"
#include "tools/vcard/FaultPlan.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

class CardImage;
class QStringList;

// The card's command line.
class CardOptions
{
public:
    // Arguments without the program name. False with a message on misuse.
    bool parse(const QStringList &arguments, QString *error);
    // The card the options describe: profile or image, patches, PIN and PUK.
    bool buildCard(CardImage *card, QString *error) const;

    static QByteArray defaultAtr();

    bool listProfiles = false;
    QString exportImage;
    quint16 port = 0;
    QString profile;
    QString imagePath;
    QList<CardPatch> patches;
    QByteArray pin = "1234";
    QByteArray puk = "12345678";
    int pinTries = 3;
    int pukTries = 3;
    QByteArray atr = defaultAtr();
    FaultPlan faults;
    int delayMs = 0;
    // Extra delay before each answer to commands of one kind, and before the
    // ATR (--slow).
    QMap<CommandKind, int> slowKinds;
    int slowAtrMs = 0;
    int removeAfter = 0;
    // Commands from stdin hold APDUs (CommandPause).
    bool pause = false;
    bool stamps = false;
    QString dumpDir;
};
