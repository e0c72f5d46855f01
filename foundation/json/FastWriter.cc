#include "foundation/json/FastWriter.h"

#include <utility>

#include "foundation/json/NumberText.h"
#include "foundation/json/StringQuoting.h"

namespace Json {

std::string FastWriter::write(const Value& root) {
  document_.clear();
  writeValue(root);
  if (!omitEndingLineFeed_) document_ += '\n';
  return std::move(document_);
}

void FastWriter::writeValue(const Value& value) {
  switch (value.type_) {
    case nullValue:
      writeNull();
      break;
    case intValue:
      appendNumberText(document_, value.value_.int_);
      break;
    case uintValue:
      appendNumberText(document_, value.value_.uint_);
      break;
    case realValue:
      appendNumberText(document_, value.value_.real_);
      break;
    case stringValue: {
      const char* begin = "";
      const char* end = begin;
      value.getString(&begin, &end);  // a string without storage keeps the empty range
      appendQuotedString(document_, begin, end);
      break;
    }
    case booleanValue:
      document_ += value.value_.bool_ ? "true" : "false";
      break;
    case arrayValue:
      writeArray(value);
      break;
    case objectValue:
      writeObject(value);
      break;
  }
}

void FastWriter::writeNull() {
  if (!dropNullPlaceholders_) document_ += "null";
}

void FastWriter::writeArray(const Value& array) {
  document_ += '[';
  // Walks the sparse map once; every missing index in front of an element is written as null.
  ArrayIndex next = 0;
  for (const auto& [key, element] : *array.value_.map_) {
    for (; next < key.index(); ++next) {
      if (next != 0) document_ += ',';
      writeNull();
    }
    if (next != 0) document_ += ',';
    writeValue(element);
    ++next;
  }
  document_ += ']';
}

void FastWriter::writeObject(const Value& object) {
  document_ += '{';
  bool first = true;
  for (const auto& [key, member] : *object.value_.map_) {
    if (!first) document_ += ',';
    first = false;
    appendQuotedString(document_, key.data(), key.data() + key.length());
    document_ += yamlCompatible_ ? ": " : ":";
    writeValue(member);
  }
  document_ += '}';
}

}  // namespace Json
