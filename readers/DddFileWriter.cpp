#include "readers/DddFileWriter.h"

#include "platform/WholeFileWriter.h"
#include "readers/DddFileName.h"

#include <QFile>
#include <QFileInfo>

namespace {
constexpr int maxAlternatives = 1000;
}

DddFileWriter::DddFileWriter(const QString &folder) : m_folder(folder)
{
}

DddFileWriter::~DddFileWriter()
{
    if (m_claimed && !m_written)
        QFile::remove(m_path);
}

// Creating the file exclusively decides, without a race, whether the name is free.
bool DddFileWriter::claim(const QString &name)
{
    m_path = m_folder + QLatin1Char('/') + name;
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String("..")
        || name == QLatin1String("."))
        return fail(QFileDevice::OpenError, QStringLiteral("Недопустимое имя файла."));
    for (int n = 1; n <= maxAlternatives; ++n) {
        m_path = m_folder + QLatin1Char('/') + (n == 1 ? name : DddFileName::numbered(name, n));
        QFile file(m_path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_claimed = true;
            return true;
        }
        if (!QFileInfo::exists(m_path))
            return fail(file.error(), file.errorString());
    }
    return fail(QFileDevice::OpenError, QStringLiteral("Все варианты имени файла заняты."));
}

bool DddFileWriter::write(const QByteArray &image)
{
    if (!m_claimed)
        return false;
    WholeFileWriter file(m_path);
    m_written = file.open() && file.write(image) && file.commit();
    return m_written || fail(file.errorCode(), file.errorText());
}

bool DddFileWriter::fail(int code, const QString &text)
{
    m_errorCode = code;
    m_errorText = text;
    return false;
}
