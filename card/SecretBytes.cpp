#include "card/SecretBytes.h"

#include <cstring>

namespace {

// Through a volatile pointer, so the zeros are written even though the
// buffer is freed next.
void zero(const void *at, size_t size)
{
    volatile char *p = static_cast<volatile char *>(const_cast<void *>(at));
    for (size_t i = 0; i < size; ++i)
        p[i] = 0;
}

// Without detaching: whoever shares the buffer sees the zeros.
void zeroInPlace(const QByteArray &bytes)
{
    zero(bytes.constData(), size_t(bytes.size()));
}

} // namespace

struct SecretBytes::Buffer
{
    explicit Buffer(int size, char fill) : bytes(size, fill) {}
    ~Buffer() { zeroInPlace(bytes); }
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;

    QByteArray bytes;
    // Set by wipe(): the zeros stay in the buffer, but it holds no secret.
    bool wiped = false;
};

namespace {

const QByteArray &noBytes()
{
    static const QByteArray empty;
    return empty;
}

} // namespace

// Only a buffer nobody else shares: a shared one may still be needed where
// it is shared. It is first grown to its capacity, which may hold older bytes.
void SecretBytes::overwrite(QByteArray &bytes)
{
    if (!bytes.isDetached())
        return;
    bytes.resize(bytes.capacity());
    zeroInPlace(bytes);
}

void SecretBytes::overwrite(QString &text)
{
    if (!text.isDetached())
        return;
    text.resize(text.capacity());
    zero(text.constData(), size_t(text.size()) * sizeof(QChar));
}

SecretBytes::SecretBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    buffer = std::make_shared<Buffer>(bytes.size(), '\0');
    std::memcpy(data(), bytes.constData(), size_t(bytes.size()));
}

SecretBytes SecretBytes::take(QByteArray &source)
{
    SecretBytes secret(source);
    overwrite(source);
    source.clear();
    return secret;
}

SecretBytes SecretBytes::take(QByteArray &&source)
{
    return take(source);
}

SecretBytes SecretBytes::fromText(const QString &text)
{
    return take(text.toUtf8());
}

SecretBytes SecretBytes::filled(int size, char fill)
{
    SecretBytes secret;
    if (size > 0)
        secret.buffer = std::make_shared<Buffer>(size, fill);
    return secret;
}

const QByteArray &SecretBytes::bytes() const
{
    return buffer && !buffer->wiped ? buffer->bytes : noBytes();
}

char *SecretBytes::data()
{
    return buffer && !buffer->wiped ? const_cast<char *>(buffer->bytes.constData()) : nullptr;
}

int SecretBytes::size() const
{
    return bytes().size();
}

bool SecretBytes::isEmpty() const
{
    return bytes().isEmpty();
}

void SecretBytes::wipe()
{
    if (!buffer)
        return;
    zeroInPlace(buffer->bytes);
    buffer->wiped = true;
    buffer.reset();
}
