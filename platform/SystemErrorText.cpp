#include "platform/SystemErrorText.h"

#include <cerrno>

namespace {

struct Reason
{
    int error;
    const char *text;
};

const Reason reasons[] = {
    {ENOSPC, "На устройстве не осталось свободного места"},
    {EDQUOT, "Превышена дисковая квота"},
    {EROFS, "Файловая система доступна только для чтения"},
    {EACCES, "Отказано в доступе"},
    {EIO, "Ошибка ввода-вывода"},
    {EFBIG, "Файл слишком велик"},
};

} // namespace

QString systemErrorText(int error, const QString &otherwise)
{
    if (error == 0)
        return otherwise;
    for (const Reason &reason : reasons) {
        if (reason.error == error)
            return QString::fromUtf8(reason.text);
    }
    return qt_error_string(error);
}
