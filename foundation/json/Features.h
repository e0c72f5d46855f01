#pragma once

namespace Json {

// What the reader accepts beyond strict JSON. Every caller in the product uses the defaults.
struct Features {
  // Block and line comments are skipped and kept on the values; off, a comment where a value is
  // expected is a syntax error.
  bool allowComments = true;
  // The root must be an array or an object.
  bool strictRoot = false;
  // A missing value before ",", "]" or "}" reads as null.
  bool allowDroppedNullPlaceholders = false;
  // A number may stand as an object member name.
  bool allowNumericKeys = false;
};

}  // namespace Json
