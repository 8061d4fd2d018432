#pragma once

#include <functional>

// Hooks of the stand-in PC/SC layer (FuzzPcsc.cpp).
namespace FuzzPcsc {

// Called when the program resets the card by disconnecting, so a card
// model behind the transmit seam can forget its selection and PIN.
extern std::function<void()> onCardReset;

} // namespace FuzzPcsc
