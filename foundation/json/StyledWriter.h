#pragma once

#include <string>
#include <vector>

#include "foundation/json/Writer.h"

namespace Json {

// Indented, human-readable JSON with the values' comments. Object members each start a line,
// indented by three spaces per level, in case-insensitive name order; a nested object or array
// opens on its member's line. An array stays on one line ("[ 1, 2 ]") when it has fewer than 25
// elements, none of them a non-empty array or object, none with a comment, and the line stays
// shorter than 74 characters; otherwise each element starts its own line. The document ends with
// one line feed. The text is always UTF-8: a byte of a string, name or comment that is not part
// of well-formed UTF-8 is written as U+FFFD.
class StyledWriter final : public Writer {
 public:
  StyledWriter() = default;

  std::string write(const Value& root) override;

 private:
  static constexpr int kRightMargin = 74;
  static constexpr int kIndentSize = 3;

  void writeValue(const Value& value);
  void writeObject(const Value& object);
  void writeArray(const Value& array);
  void writeMultiLineArray(const Value& array);
  void writeOneLineArray();
  // Decides the layout; a candidate for one line leaves its elements' texts in childValues_.
  bool isMultiLineArray(const Value& array);
  void pushValue(const std::string& text);
  void writeIndent();
  void writeWithIndent(const std::string& text);
  void indent();
  void unindent();
  void writeCommentBeforeValue(const Value& value);
  void writeCommentAfterValue(const Value& value);

  std::vector<std::string> childValues_;
  std::string document_;
  std::string indentString_;
  bool addChildValues_ = false;
};

}  // namespace Json
