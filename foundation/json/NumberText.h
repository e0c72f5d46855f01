#pragma once

#include <string>

#include "foundation/json/JsonTypes.h"

namespace Json {

// The text of a number, as Value::asString and both writers give it. Integers in decimal; reals
// with 17 significant digits in the shortest of fixed and exponent form ("%.17g"), "." as the
// decimal point whatever the locale, "null" for a NaN and +-1e+9999 for the infinities.
std::string valueToString(LargestInt value);
std::string valueToString(LargestUInt value);
std::string valueToString(double value);

// The same texts appended to a document, so the writers build no temporary per number.
void appendNumberText(std::string& out, LargestInt value);
void appendNumberText(std::string& out, LargestUInt value);
void appendNumberText(std::string& out, double value);

}  // namespace Json
