#include "foundation/json/NumberText.h"

#include <charconv>
#include <cmath>

namespace Json {
namespace {

constexpr int kRealPrecision = 17;

template <typename Integer>
void appendInteger(std::string& out, Integer value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

template <typename Number>
std::string toText(Number value) {
  std::string text;
  appendNumberText(text, value);
  return text;
}

}  // namespace

void appendNumberText(std::string& out, LargestInt value) {
  appendInteger(out, value);
}

void appendNumberText(std::string& out, LargestUInt value) {
  appendInteger(out, value);
}

void appendNumberText(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "null";
  } else if (std::isinf(value)) {
    out += value < 0 ? "-1e+9999" : "1e+9999";
  } else {
    // to_chars with a precision prints exactly what printf's "%.17g" prints in the C locale, and
    // never consults the global locale, so no decimal comma can slip into a document.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::general, kRealPrecision);
    out.append(buffer, result.ptr);
  }
}

std::string valueToString(LargestInt value) {
  return toText(value);
}

std::string valueToString(LargestUInt value) {
  return toText(value);
}

std::string valueToString(double value) {
  return toText(value);
}

}  // namespace Json
