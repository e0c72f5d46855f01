// Reads arbitrary bytes as JSON. Whatever reads must write, with either writer, to text that reads
// back to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/json/FastWriter.h"
#include "foundation/json/Reader.h"
#include "foundation/text/Utf8Decode.h"

namespace {

// What a value read back from the writers' text must equal: strings and names cleaned, and members
// whose cleaned names meet merged as the reader merges them (first spelling, last value).
Json::Value expectedAfterWriting(const Json::Value& value) {
  switch (value.type()) {
    case Json::stringValue:
      return Json::Value(Utf8::withReplacements(value.asString()));
    case Json::arrayValue: {
      Json::Value out(Json::arrayValue);
      for (Json::ArrayIndex i = 0; i < value.size(); ++i) out[i] = expectedAfterWriting(value[i]);
      return out;
    }
    case Json::objectValue: {
      Json::Value out(Json::objectValue);
      for (const std::string& name : value.getMemberNames()) {
        out[Utf8::withReplacements(name)] = expectedAfterWriting(value[name]);
      }
      return out;
    }
    case Json::nullValue:
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
    case Json::booleanValue:
      break;
  }
  return value;
}

bool isNumber(const Json::Value& value) {
  const Json::ValueType type = value.type();
  return type == Json::intValue || type == Json::uintValue || type == Json::realValue;
}

bool sameNumber(const Json::Value& a, const Json::Value& b) {
  // An integral real is written without a point and comes back as an integer.
  if (a.type() == Json::realValue || b.type() == Json::realValue) {
    return a.asDouble() == b.asDouble();
  }
  if (a.type() != b.type()) return false;
  return a.type() == Json::intValue ? a.asLargestInt() == b.asLargestInt()
                                    : a.asLargestUInt() == b.asLargestUInt();
}

bool sameValue(const Json::Value& a, const Json::Value& b) {
  if (isNumber(a) && isNumber(b)) return sameNumber(a, b);
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Json::nullValue:
      return true;
    case Json::booleanValue:
      return a.asBool() == b.asBool();
    case Json::stringValue:
      return a.asString() == b.asString();
    case Json::arrayValue:
      if (a.size() != b.size()) return false;
      for (Json::ArrayIndex i = 0; i < a.size(); ++i) {
        if (!sameValue(a[i], b[i])) return false;
      }
      return true;
    case Json::objectValue:
      if (a.size() != b.size()) return false;
      for (const std::string& name : a.getMemberNames()) {
        const Json::Value* other = b.find(name.data(), name.data() + name.size());
        if (other == nullptr || !sameValue(a[name], *other)) return false;
      }
      return true;
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
      break;
  }
  return false;
}

void checkReadsBack(Json::Reader& reader, const Json::Value& original, const std::string& text,
                    const char* writer) {
  Json::Value again;
  if (Utf8::withReplacements(text) != text || !reader.parse(text, again) ||
      !sameValue(original, again)) {
    std::fprintf(stderr, "%s text does not read back:\n%s\n", writer, text.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  Json::Reader reader{Json::Features()};
  Json::Value root;
  if (!reader.parse(text, text + size, root)) return 0;
  const Json::Value expected = expectedAfterWriting(root);
  checkReadsBack(reader, expected, Json::FastWriter().write(root), "compact");
  checkReadsBack(reader, expected, root.toStyledString(), "styled");
  return 0;
}
