#include "foundation/json/StyledWriter.h"

#include <cstdint>
#include <iterator>
#include <utility>

#include "foundation/json/NumberText.h"
#include "foundation/json/StringQuoting.h"
#include "foundation/text/Utf8Decode.h"

namespace Json {
namespace {

std::string quoted(const char* begin, const char* end) {
  std::string text;
  appendQuotedString(text, begin, end);
  return text;
}

std::string scalarText(const Value& value) {
  switch (value.type()) {
    case nullValue:
      return "null";
    case intValue:
      return valueToString(value.asLargestInt());
    case uintValue:
      return valueToString(value.asLargestUInt());
    case realValue:
      return valueToString(value.asDouble());
    case booleanValue:
      return value.asBool() ? "true" : "false";
    case stringValue:
    case arrayValue:
    case objectValue:
      break;
  }
  const char* begin = "";
  const char* end = begin;
  value.getString(&begin, &end);  // a string without storage keeps the empty range
  return quoted(begin, end);
}

bool hasAnyComment(const Value& value) {
  return value.hasComment(commentBefore) || value.hasComment(commentAfterOnSameLine) ||
         value.hasComment(commentAfter);
}

}  // namespace

std::string StyledWriter::write(const Value& root) {
  document_.clear();
  indentString_.clear();
  addChildValues_ = false;
  writeCommentBeforeValue(root);
  writeValue(root);
  writeCommentAfterValue(root);
  document_ += '\n';
  return std::move(document_);
}

void StyledWriter::writeValue(const Value& value) {
  switch (value.type()) {
    case arrayValue:
      writeArray(value);
      return;
    case objectValue:
      writeObject(value);
      return;
    case nullValue:
    case intValue:
    case uintValue:
    case realValue:
    case stringValue:
    case booleanValue:
      pushValue(scalarText(value));
      return;
  }
}

void StyledWriter::writeObject(const Value& object) {
  if (object.empty()) {
    pushValue("{}");
    return;
  }
  writeWithIndent("{");
  indent();
  const auto& members = *object.value_.map_;
  for (auto it = members.begin(); it != members.end(); ++it) {
    const Value& member = it->second;
    writeCommentBeforeValue(member);
    const char* name = it->first.data();
    writeWithIndent(quoted(name, name + it->first.length()));
    document_ += " : ";
    writeValue(member);
    if (std::next(it) != members.end()) document_ += ',';
    writeCommentAfterValue(member);
  }
  unindent();
  writeWithIndent("}");
}

void StyledWriter::writeArray(const Value& array) {
  if (array.size() == 0) {
    pushValue("[]");
  } else if (isMultiLineArray(array)) {
    writeMultiLineArray(array);
  } else {
    writeOneLineArray();
  }
}

bool StyledWriter::isMultiLineArray(const Value& array) {
  const ArrayIndex size = array.size();
  childValues_.clear();
  if (std::uint64_t{size} * 3 >= kRightMargin) return true;
  for (ArrayIndex index = 0; index < size; ++index) {
    const Value& element = array[index];
    if ((element.isArray() || element.isObject()) && !element.empty()) return true;
  }
  // Every element is a scalar or empty here: render each once, the texts serve either layout.
  childValues_.reserve(size);
  addChildValues_ = true;
  bool hasComment = false;
  std::uint64_t lineLength = 4 + 2 * std::uint64_t{size - 1};  // "[ ", ", " between, " ]"
  for (ArrayIndex index = 0; index < size; ++index) {
    const Value& element = array[index];
    hasComment = hasComment || hasAnyComment(element);
    writeValue(element);
    lineLength += childValues_[index].size();
  }
  addChildValues_ = false;
  return hasComment || lineLength >= kRightMargin;
}

void StyledWriter::writeMultiLineArray(const Value& array) {
  const ArrayIndex size = array.size();
  const bool hasChildValues = !childValues_.empty();
  writeWithIndent("[");
  indent();
  for (ArrayIndex index = 0; index < size; ++index) {
    const Value& element = array[index];
    writeCommentBeforeValue(element);
    if (hasChildValues) {
      writeWithIndent(childValues_[index]);
    } else {
      writeIndent();
      writeValue(element);
    }
    if (index + 1 != size) document_ += ',';
    writeCommentAfterValue(element);
  }
  unindent();
  writeWithIndent("]");
}

void StyledWriter::writeOneLineArray() {
  document_ += "[ ";
  for (std::size_t index = 0; index < childValues_.size(); ++index) {
    if (index != 0) document_ += ", ";
    document_ += childValues_[index];
  }
  document_ += " ]";
}

void StyledWriter::pushValue(const std::string& text) {
  if (addChildValues_) {
    childValues_.push_back(text);
  } else {
    document_ += text;
  }
}

// A document ending in a blank has its line placed already (the value after " : ", or an element
// right after its indentation); any other unfinished line is ended first.
void StyledWriter::writeIndent() {
  if (!document_.empty()) {
    const char last = document_.back();
    if (last == ' ') return;
    if (last != '\n') document_ += '\n';
  }
  document_ += indentString_;
}

void StyledWriter::writeWithIndent(const std::string& text) {
  writeIndent();
  document_ += text;
}

void StyledWriter::indent() {
  indentString_.append(kIndentSize, ' ');
}

void StyledWriter::unindent() {
  indentString_.resize(indentString_.size() - kIndentSize);
}

void StyledWriter::writeCommentBeforeValue(const Value& value) {
  if (!value.hasComment(commentBefore)) return;
  document_ += '\n';
  writeIndent();
  const std::string comment = Utf8::withReplacements(value.getComment(commentBefore));
  for (std::size_t i = 0; i < comment.size(); ++i) {
    document_ += comment[i];
    if (comment[i] == '\n' && i + 1 < comment.size() && comment[i + 1] == '/') writeIndent();
  }
  document_ += '\n';
}

void StyledWriter::writeCommentAfterValue(const Value& value) {
  if (value.hasComment(commentAfterOnSameLine)) {
    document_ += ' ';
    document_ += Utf8::withReplacements(value.getComment(commentAfterOnSameLine));
    // A comment ending in a blank would pass for a placed line, and the next member or closing
    // bracket would land inside a line comment; end its line here.
    if (document_.back() == ' ') document_ += '\n';
  }
  if (value.hasComment(commentAfter)) {
    document_ += '\n';
    document_ += Utf8::withReplacements(value.getComment(commentAfter));
    document_ += '\n';
  }
}

}  // namespace Json
