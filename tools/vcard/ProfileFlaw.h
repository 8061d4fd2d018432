#pragma once

class CardImage;
class QDate;

// What a flawed built-in card gets wrong, for the host's data checks to find.
enum class ProfileFlaw {
    None,
    IssuedAfterValidityBegin,
    IssuedOnValidityBegin,
    ValidityOneDayShort,
    ValidityOneDayLong,
    ValidityOneYearLong,
    NotYetValid,
    Expired,
    InvalidBirthDate,
    BlankUsageData,      // activity, vehicles, places, calibrations and controls all zero
    TruncatedIdentification, // EF 0x0520 shorter than its layout: it cannot be read whole
    NoCurrentUsage,      // no EF 0x0507
    NoPlaces,            // no EF 0x0506
    AttentionRecords,    // events of types 0x05, 0x07, 0x41 and faults of 0x4F, 0x35
    NoEventRecordsNoFaults, // EF 0x0502 all zero, no EF 0x0503
};

// Applies the flaw to a card built for `today` (UTC) from its description.
void applyProfileFlaw(ProfileFlaw flaw, const QDate &today, CardImage *card);
