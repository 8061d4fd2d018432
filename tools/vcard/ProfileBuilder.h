#pragma once

#include <QByteArray>
#include <QDate>

class CardImage;
struct ProfileDescription;

// Generates every file of a built-in card from its description: the file set
// and sizes its kind and type call for, record counts in the application
// identification that match the sizes of the cyclic files, and dates around
// the given day.
class ProfileBuilder
{
public:
    ProfileBuilder(const ProfileDescription &description, const QDate &today);

    CardImage build() const;

private:
    struct Counts
    {
        int events = 0;
        int faults = 0;
        int activity = 0;
        int vehicles = 0;
        int places = 0;
        int calibrations = 0;
        int controls = 0;
    };

    Counts counts() const;
    quint32 at(int daysAgo, int secondOfDay) const;
    QByteArray text(const char *utf8, int size) const;

    QByteArray iccFile() const;
    QByteArray icFile() const;
    QByteArray applicationIdentification() const;
    QByteArray identification() const;
    QByteArray drivingLicence() const;
    QByteArray derObject(quint32 seed, int contentLength, int fileSize) const;
    QByteArray archiveRequests() const;

    QByteArray eventsOrFaults(bool events) const;
    QByteArray eventRecord(quint8 type, int daysAgo, int plate) const;
    QByteArray activity() const;
    QByteArray vehicles() const;
    QByteArray places() const;
    QByteArray currentUsage() const;
    QByteArray controlRecord(int daysAgo) const;
    QByteArray calibrations() const;
    QByteArray controlRecords() const;
    QByteArray specificConditions() const;

    const ProfileDescription &m_description;
    QDate m_today;
    quint32 m_seed = 0;
};
