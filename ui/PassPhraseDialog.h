#pragma once

#include "card/SecretBytes.h"

// Asks for the pass phrase of the user's private key. The typed text is
// wiped from the dialog and from every copy made here, whether it was
// accepted or not; the caller wipes `passPhrase` once it is used.
bool askPassPhrase(SecretBytes &passPhrase);
