#pragma once
// The EIA tape code as the receive window keeps it: one received code to one ISO character.
#include <QtGlobal>

// The ISO character for an EIA code, or -1 for a code that has no translation.
int EiaToIso(int code);
