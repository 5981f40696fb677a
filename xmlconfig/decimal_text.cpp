// Decimal integers read from the text of XML values and path indexes.
#include "xmlconfig/decimal_text.h"

#include <limits>

namespace {

bool IsSpace(WideChar c) {
  return c == WIDE(' ') || (c >= WIDE('\t') && c <= WIDE('\r'));
}

}  // namespace

int32_t ReadDecimal(const WideString& text) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == WIDE('+') || text[i] == WIDE('-'))) {
    negative = text[i] == WIDE('-');
    ++i;
  }
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= WIDE('0') && text[i] <= WIDE('9'); ++i) {
    magnitude = magnitude * 10 + (text[i] - WIDE('0'));
    if (magnitude > -kMin) magnitude = -kMin;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > kMax) return static_cast<int32_t>(kMax);
  return static_cast<int32_t>(value);
}
