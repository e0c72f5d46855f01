#pragma once

#include <string>

#include "foundation/json/Writer.h"

namespace Json {

// Compact one-line JSON: no blanks, no comments, object members in case-insensitive name order,
// array holes as null, followed by one line feed. A string without storage is written as "". The
// text is always UTF-8: a byte that is not part of well-formed UTF-8 is written as U+FFFD.
class FastWriter final : public Writer {
 public:
  FastWriter() = default;

  // ": " instead of ":" between a member name and its value.
  void enableYAMLCompatibility() { yamlCompatible_ = true; }
  // A null value writes nothing instead of "null".
  void dropNullPlaceholders() { dropNullPlaceholders_ = true; }
  // No line feed after the document.
  void omitEndingLineFeed() { omitEndingLineFeed_ = true; }

  std::string write(const Value& root) override;

 private:
  void writeValue(const Value& value);
  void writeNull();
  void writeArray(const Value& array);
  void writeObject(const Value& object);

  std::string document_;
  bool yamlCompatible_ = false;
  bool dropNullPlaceholders_ = false;
  bool omitEndingLineFeed_ = false;
};

}  // namespace Json
