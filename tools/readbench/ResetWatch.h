#pragma once

#include <functional>

#include <QtGlobal>

// Tells of every card reset this process asks pcsc-lite for, with the
// handle it is made on: the trace learns where the card reader reset the
// card without guessing it from what the card object shows.
namespace ResetWatch {

// An empty function stops the watch.
void watch(std::function<void(quint64 handle)> onReset);

} // namespace ResetWatch
