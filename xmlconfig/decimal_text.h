// Decimal integers read from the text of XML values and path indexes.
#pragma once

#include <cstdint>

#include "platform/wide.h"

// Leading white space, an optional sign, then digits up to the first other
// character; no digits gives 0. Values beyond 32 bits saturate, as wcstol does
// with a 32-bit long.
int32_t ReadDecimal(const WideString& text);
