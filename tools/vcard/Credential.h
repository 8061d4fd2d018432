#pragma once

#include <QByteArray>

// A PIN or PUK held by the card: an 8-byte reference block (the value padded
// with FF) and a retry counter that blocks it at zero.
class Credential
{
public:
    enum class Outcome { Accepted, Rejected, Blocked };

    static constexpr int blockSize = 8;

    Credential() = default;
    Credential(const QByteArray &value, int triesLeft, int maxTries);

    static QByteArray toBlock(const QByteArray &value);

    // Compares an 8-byte block with the reference: a match restores the
    // counter, a mismatch uses one try up.
    Outcome present(const QByteArray &block);
    void replace(const QByteArray &block);
    void restoreTries();

    QByteArray reference() const { return m_reference; }
    int triesLeft() const { return m_triesLeft; }
    int maxTries() const { return m_maxTries; }

private:
    QByteArray m_reference = toBlock(QByteArray());
    int m_triesLeft = 3;
    int m_maxTries = 3;
};
