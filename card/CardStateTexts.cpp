#include "card/CardStateTexts.h"

#include "card/CodeTextRow.h"

namespace {

constexpr CodeTextRow<quint32> cardStateTexts[] = {
    {0x1, "SCARD_ABSENT: В картридере нет карты"},
    {0x2, "SCARD_PRESENT: Карта в картридере есть, но она не установлена требуемым образом."},
    {0x3, "SCARD_SWALLOWED: Карта корректно установлена в картридер, но на ней отсутствует 'питание'."},
    {0x4, "SCARD_POWERED: Карта 'запитана', но драйвер картридера не знает о режиме работы карты."},
    {0x5, "SCARD_NEGOTIABLE: Карта была 'сброшена' и ожидает PTS обмена."},
    {0x6, "SCARD_SPECIFIC: Карта была 'сброшена' и с ней установлен конкретный протокол связи."},
};

} // namespace

QString findCardStateText(quint32 state)
{
    return findCodeText(cardStateTexts, state);
}
