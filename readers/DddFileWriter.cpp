#include "readers/DddFileWriter.h"

#include "readers/DddFileName.h"

#include <QFileDevice>
#include <QFileInfo>

namespace {
constexpr int maxAlternatives = 1000;
const QString allTaken = QStringLiteral("Все варианты имени файла заняты.");
} // namespace

DddFileWriter::DddFileWriter(const QString &folder) : m_folder(folder)
{
}

// The names taken now decide only what path() says and whether any is left:
// the write decides again, without a race.
bool DddFileWriter::claim(const QString &name)
{
    m_name = name;
    m_path = m_folder + QLatin1Char('/') + name;
    m_alternative = 0;
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String("..")
        || name == QLatin1String("."))
        return fail(QFileDevice::OpenError, QStringLiteral("Недопустимое имя файла."));
    int n = 1;
    for (; n <= maxAlternatives; ++n) {
        m_path = m_folder + QLatin1Char('/') + alternative(n);
        const QFileInfo entry(m_path);
        if (!entry.exists() && !entry.isSymLink())
            break;
    }
    if (n > maxAlternatives)
        return fail(QFileDevice::OpenError, allTaken);
    if (!m_draft.create(m_folder))
        return fail(m_draft.errorCode(), m_draft.errorText());
    m_alternative = n;
    return true;
}

bool DddFileWriter::write(const QByteArray &image)
{
    if (m_alternative == 0)
        return false;
    const int first = m_alternative;
    // One image per claim.
    m_alternative = 0;
    if (!m_draft.write(image))
        return fail(m_draft.errorCode(), m_draft.errorText());
    for (int n = first; n <= maxAlternatives; ++n) {
        m_path = m_folder + QLatin1Char('/') + alternative(n);
        switch (m_draft.place(alternative(n))) {
        case DraftFile::Placed::Done:
            return true;
        case DraftFile::Placed::NameTaken:
            continue;
        case DraftFile::Placed::Failed:
            return fail(m_draft.errorCode(), m_draft.errorText());
        }
    }
    return fail(QFileDevice::OpenError, allTaken);
}

int DddFileWriter::removeLeftovers(const QString &folder)
{
    return DraftFile::removeAbandoned(folder);
}

QString DddFileWriter::alternative(int n) const
{
    return n == 1 ? m_name : DddFileName::numbered(m_name, n);
}

bool DddFileWriter::fail(int code, const QString &text)
{
    m_errorCode = code;
    m_errorText = text;
    return false;
}
