#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The virtual card in one of the sandbox's readers, put in and pulled out
// without waiting on PC/SC, so the GUI thread's event loop keeps turning:
// the window's reader table tells when the card is there and when it left.
class VirtualCard
{
public:
    explicit VirtualCard(int reader);
    ~VirtualCard();

    VirtualCard(const VirtualCard&) = delete;
    VirtualCard& operator=(const VirtualCard&) = delete;

    // options: the card's own, as tools/vcard takes them.
    void insert(const QString& profile, const QStringList& options = {});
    // Ends the card's process; false when it would not end.
    bool pull();
    QString readerName() const;

private:
    int reader = 0;
    QProcess process;
};
