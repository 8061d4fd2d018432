#pragma once

// The double moved to tests/support; this name stays for the whole-program tests.
#include "tests/support/WebServiceProcess.h"
