// Feeds arbitrary bytes to the decoder of every file layout and variant key.
// Input: row index, key selector, count (big-endian, 2 bytes), then the
// file's bytes.

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>

namespace {

void touch(const CardDataElement& element)
{
    // Converting the values runs the code that shows them.
    (void)element.value.toString();
    (void)element.value.toDateTime().toString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < 4)
        return 0;
    const QVector<CardAppLayout>& rows = CardDictionary::efDescriptors();
    const quint8 index = quint8(input[0] % rows.size());
    const CardAppLayout& row = rows.at(index);
    const QList<quint16> keys = row.layouts.keys();
    const int selector = input[1] % (keys.size() + 1);

    CardFileRecord record;
    record.efIndex = index;
    record.fid = row.fid;
    // One selector past the row's keys tries a key the row does not have.
    record.layoutKey = selector < keys.size() ? keys.at(selector) : quint16(input[1] << 8 | input[2]);
    record.count = quint16(input[2] << 8 | input[3]);
    record.data = QByteArray(reinterpret_cast<const char*>(input + 4), int(size - 4));
    record.length = quint16(record.data.size());

    record.decode();
    for (const CardDataElement& element : qAsConst(record.fields))
        touch(element);
    for (const CardRecordList& list : qAsConst(record.recordLists)) {
        for (const auto& fields : list.records) {
            for (const CardDataElement& element : fields)
                touch(element);
        }
    }

    // Every decoder on its own, as callers may use them on raw bytes.
    const auto& decoders = CardFileRecord::valueDecoders();
    for (auto it = decoders.cbegin(); it != decoders.cend(); ++it)
        (void)(record.*(it.value()))(record.data).toString();
    (void)CardFileRecord::decodeCodePageString(record.data);
    return 0;
}
