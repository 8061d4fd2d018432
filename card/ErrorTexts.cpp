#include "card/ErrorTexts.h"

QString unknownErrorText()
{
    return QStringLiteral("Неизвестная ошибка. Обратитесь в службу технической поддержки.");
}

QString errorTitle()
{
    return QStringLiteral("ОШИБКА");
}
