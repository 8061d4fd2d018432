#include "ui/app/CrossThreadTypes.h"

#include "card/SecretBytes.h"
#include "readers/CardWork.h"
#include "readers/ReaderState.h"
#include "ui/services/MultiProgressElement.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QMetaType>

void registerCrossThreadTypes()
{
    qRegisterMetaType<MultiProgressElement*>("MultiProgressElement*");
    qRegisterMetaType<ReaderState>();
    qRegisterMetaType<SecretBytes>();
    qRegisterMetaType<CardWork>();
}

QStringList unqueueableSignals(const QMetaObject& meta)
{
    QStringList found;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() != QMetaMethod::Signal)
            continue;
        for (int p = 0; p < method.parameterCount(); ++p) {
            if (method.parameterType(p) == QMetaType::UnknownType) {
                found << QStringLiteral("%1::%2: %3")
                             .arg(QLatin1String(meta.className()), QString::fromLatin1(method.name()),
                                  QString::fromLatin1(method.parameterTypes().at(p)));
            }
        }
    }
    return found;
}
