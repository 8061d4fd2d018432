#include "tools/vcard/Credential.h"

#include <algorithm>

Credential::Credential(const QByteArray &value, int triesLeft, int maxTries)
    : m_reference(toBlock(value)),
      m_triesLeft(std::max(0, triesLeft)),
      m_maxTries(std::max(m_triesLeft, maxTries))
{
}

QByteArray Credential::toBlock(const QByteArray &value)
{
    QByteArray block = value.left(blockSize);
    block.append(QByteArray(blockSize - block.size(), char(0xFF)));
    return block;
}

Credential::Outcome Credential::present(const QByteArray &block)
{
    if (m_triesLeft == 0)
        return Outcome::Blocked;
    if (block == m_reference) {
        restoreTries();
        return Outcome::Accepted;
    }
    --m_triesLeft;
    return Outcome::Rejected;
}

void Credential::replace(const QByteArray &block)
{
    m_reference = toBlock(block);
    restoreTries();
}

void Credential::restoreTries()
{
    m_triesLeft = m_maxTries;
}
