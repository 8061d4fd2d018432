#pragma once

#include "tools/vcard/ProfileFlaw.h"

#include <QtGlobal>

// The compact description a built-in card profile is generated from. Texts
// are UTF-8; a null text is a field the card type does not have.
struct ProfileDescription
{
    const char *name = nullptr;
    quint8 kind = 0;
    quint8 type = 0;
    bool fullSize = false;       // the greatest record counts the card type allows
    const char *cardNumber = nullptr; // 16 characters
    const char *authority = nullptr;
    const char *holderSurname = nullptr;
    const char *holderFirstNames = nullptr;
    const char *organisation = nullptr; // workshop, control body or company
    const char *address = nullptr;
    const char *birthDate = nullptr;    // "yyyyMMdd", driver cards
    const char *moduleNumber = nullptr; // 15 characters, the crypto-module number of kind 1
    bool sessionOpen = false;           // the current-usage file holds an unclosed session
    ProfileFlaw flaw = ProfileFlaw::None;
};
