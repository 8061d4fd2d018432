#pragma once

#include <QStringList>

struct QMetaObject;

// Registers every argument type that our signals carry between threads.
void registerCrossThreadTypes();

// The signals of a class that a queued connection could not deliver, as
// "Class::signal: Type"; empty when every argument type is registered.
QStringList unqueueableSignals(const QMetaObject& meta);
