#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

#include <memory>

// A PIN, PUK, new PIN, pass phrase or password on its way from the window to
// where it is used. Copies share one buffer: a queued signal's copy of a
// SecretBytes is the same secret, not a second one. wipe() overwrites that
// buffer with zeros for every holder at once, and the last holder letting go
// does the same. Whoever copies bytes() shares the buffer too and sees the
// zeros: the bytes are overwritten in place, never left to a copy.
class SecretBytes
{
public:
    SecretBytes() = default;
    // A copy of the bytes; the caller's own copy stays as it is.
    explicit SecretBytes(const QByteArray &bytes);
    // Copies the bytes into a buffer of its own, then overwrites `source`.
    static SecretBytes take(QByteArray &source);
    static SecretBytes take(QByteArray &&source);
    // The UTF-8 bytes of a typed text.
    static SecretBytes fromText(const QString &text);
    // A buffer of `size` bytes of `fill` to write into with data().
    static SecretBytes filled(int size, char fill);

    const QByteArray &bytes() const;
    char *data();
    int size() const;
    bool isEmpty() const;
    // Overwrites the buffer with zeros and leaves every holder empty.
    void wipe();

    // Overwrite a buffer or a text of the caller's that held a secret, with
    // its unused capacity; one still shared elsewhere is left alone.
    static void overwrite(QByteArray &bytes);
    static void overwrite(QString &text);

private:
    struct Buffer;
    std::shared_ptr<Buffer> buffer;
};

Q_DECLARE_METATYPE(SecretBytes)
