#include "foundation/json/Value.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "foundation/json/StyledWriter.h"

namespace Json {
namespace {

// The length prefix, the bytes and the NUL of the longest string stay within INT_MAX bytes.
constexpr std::size_t kMaxStringLength = 2147483642u;
constexpr double kTwoToThe63 = 9223372036854775808.0;
constexpr double kTwoToThe64 = 18446744073709551616.0;

char* allocateOrThrow(std::size_t size, const char* message) {
  auto* block = static_cast<char*>(std::malloc(size));
  if (block == nullptr) throwRuntimeError(message);
  return block;
}

// One block: the byte length as a native 32-bit number, the bytes, a NUL.
char* duplicateAndPrefixStringValue(const char* text, std::size_t length) {
  if (length > kMaxStringLength) {
    throwLogicError(
        "in Json::Value::duplicateAndPrefixStringValue(): length too big for prefixing");
  }
  char* block = allocateOrThrow(
      sizeof(std::uint32_t) + length + 1,
      "in Json::Value::duplicateAndPrefixStringValue(): Failed to allocate string value buffer");
  const auto prefix = static_cast<std::uint32_t>(length);
  std::memcpy(block, &prefix, sizeof prefix);
  if (length != 0) std::memcpy(block + sizeof prefix, text, length);
  block[sizeof prefix + length] = '\0';
  return block;
}

// Names and comments are cut at this length.
std::size_t cappedTextLength(std::size_t length) {
  return std::min<std::size_t>(length, Value::CZString::kMaxNameLength);
}

// A NUL-terminated copy of a name or comment of at most cappedTextLength bytes.
char* duplicateStringValue(const char* text, std::size_t length) {
  char* copy = allocateOrThrow(
      length + 1, "in Json::Value::duplicateStringValue(): Failed to allocate string value buffer");
  if (length != 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

unsigned char lowerAscii(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value >= 'A' && value <= 'Z' ? static_cast<unsigned char>(value + ('a' - 'A')) : value;
}

// Case-insensitive over the whole counted texts, NUL bytes included; a text that is a prefix of
// the other comes first.
int compareIgnoringCase(const char* a, std::uint32_t aLength, const char* b,
                        std::uint32_t bLength) {
  const std::uint32_t common = std::min(aLength, bLength);
  for (std::uint32_t i = 0; i < common; ++i) {
    const unsigned char aByte = lowerAscii(a[i]);
    const unsigned char bByte = lowerAscii(b[i]);
    if (aByte != bByte) return aByte < bByte ? -1 : 1;
  }
  if (aLength == bLength) return 0;
  return aLength < bLength ? -1 : 1;
}

}  // namespace

// ---- CZString ----

Value::CZString::CZString(ArrayIndex index)
    : name_(nullptr), indexOrLength_(index), owned_(false) {}

Value::CZString::CZString(const char* name, std::size_t length)
    : CZString(name, static_cast<std::uint32_t>(cappedTextLength(length)), false) {}

Value::CZString::CZString(const char* name, std::uint32_t length, bool owned)
    : name_(name), indexOrLength_(length), owned_(owned) {}

Value::CZString Value::CZString::owningCopy(const CZString& key) {
  if (key.name_ == nullptr) return CZString(key.indexOrLength_);
  return CZString(duplicateStringValue(key.name_, key.indexOrLength_), key.indexOrLength_, true);
}

Value::CZString::CZString(const CZString& other)
    : name_(other.owned_ ? duplicateStringValue(other.name_, other.indexOrLength_) : other.name_),
      indexOrLength_(other.indexOrLength_),
      owned_(other.owned_) {}

Value::CZString::CZString(CZString&& other) noexcept
    : name_(other.name_), indexOrLength_(other.indexOrLength_), owned_(other.owned_) {
  other.owned_ = false;
}

Value::CZString::~CZString() {
  if (owned_) std::free(const_cast<char*>(name_));
}

bool Value::CZString::operator<(const CZString& other) const {
  if (name_ == nullptr) return indexOrLength_ < other.indexOrLength_;
  return compareIgnoringCase(name_, indexOrLength_, other.name_, other.indexOrLength_) < 0;
}

bool Value::CZString::operator==(const CZString& other) const {
  if (name_ == nullptr) return indexOrLength_ == other.indexOrLength_;
  return compareIgnoringCase(name_, indexOrLength_, other.name_, other.indexOrLength_) == 0;
}

// ---- construction ----

void Value::FreeDeleter::operator()(char* text) const {
  std::free(text);
}

Value::Value(ValueType type) : type_(type) {
  switch (type) {
    case nullValue:
    case intValue:
      value_.int_ = 0;
      break;
    case uintValue:
      value_.uint_ = 0;
      break;
    case realValue:
      value_.real_ = 0.0;
      break;
    case stringValue:
      value_.string_ = nullptr;
      break;
    case booleanValue:
      value_.bool_ = false;
      break;
    case arrayValue:
    case objectValue:
      value_.map_ = new ObjectValues();
      break;
  }
}

Value::Value(int value) : Value(static_cast<Int64>(value)) {}

Value::Value(unsigned value) : Value(static_cast<UInt64>(value)) {}

Value::Value(Int64 value) : type_(intValue) {
  value_.int_ = value;
}

Value::Value(UInt64 value) : type_(uintValue) {
  value_.uint_ = value;
}

Value::Value(double value) : type_(realValue) {
  value_.real_ = value;
}

Value::Value(bool value) : type_(booleanValue) {
  value_.bool_ = value;
}

Value::Value(const char* text) : Value(text, text + std::strlen(text)) {}

Value::Value(const std::string& text) : Value(text.data(), text.data() + text.size()) {}

Value::Value(const char* begin, const char* end) : type_(stringValue) {
  value_.string_ = duplicateAndPrefixStringValue(begin, static_cast<std::size_t>(end - begin));
}

Value::Value(const Value& other) : start_(other.start_), limit_(other.limit_), type_(other.type_) {
  if (other.comments_) {
    comments_ = std::make_unique<CommentSlots>();
    for (int placement = 0; placement < numberOfCommentPlacement; ++placement) {
      const Comment& comment = other.comments_->slot[placement];
      if (comment.text == nullptr) continue;
      comments_->slot[placement].text.reset(
          duplicateStringValue(comment.text.get(), comment.length));
      comments_->slot[placement].length = comment.length;
    }
  }
  switch (type_) {
    case stringValue:
      value_.string_ =
          other.value_.string_ == nullptr
              ? nullptr
              : duplicateAndPrefixStringValue(other.stringData(), other.stringLength());
      break;
    case arrayValue:
    case objectValue:
      value_.map_ = new ObjectValues(*other.value_.map_);
      break;
    case nullValue:
    case intValue:
    case uintValue:
    case realValue:
    case booleanValue:
      value_ = other.value_;
      break;
  }
}

Value::Value(Value&& other) noexcept
    : value_(other.value_),
      comments_(std::move(other.comments_)),
      start_(other.start_),
      limit_(other.limit_),
      type_(other.type_) {
  other.type_ = nullValue;
}

Value& Value::operator=(Value other) noexcept {
  swap(other);
  return *this;
}

Value::~Value() {
  releasePayload();
}

void Value::releasePayload() noexcept {
  switch (type_) {
    case stringValue:
      std::free(value_.string_);
      break;
    case arrayValue:
    case objectValue:
      delete value_.map_;
      break;
    default:
      break;
  }
}

void Value::swapPayload(Value& other) noexcept {
  std::swap(value_, other.value_);
  std::swap(type_, other.type_);
}

void Value::swap(Value& other) noexcept {
  swapPayload(other);
  std::swap(comments_, other.comments_);
  std::swap(start_, other.start_);
  std::swap(limit_, other.limit_);
}

const Value& Value::nullSingleton() {
  static const Value null;
  return null;
}

// ---- queries ----

std::uint32_t Value::stringLength() const {
  std::uint32_t length;
  std::memcpy(&length, value_.string_, sizeof length);
  return length;
}

const char* Value::stringData() const {
  return value_.string_ + sizeof(std::uint32_t);
}

ArrayIndex Value::size() const {
  switch (type_) {
    case arrayValue:
      return value_.map_->empty() ? 0 : value_.map_->rbegin()->first.index() + 1;
    case objectValue:
      return static_cast<ArrayIndex>(value_.map_->size());
    default:
      break;
  }
  return 0;
}

bool Value::empty() const {
  if (type_ == nullValue) return true;
  return (type_ == arrayValue || type_ == objectValue) && value_.map_->empty();
}

bool Value::getString(const char** begin, const char** end) const {
  if (type_ != stringValue || value_.string_ == nullptr) return false;
  *begin = stringData();
  *end = *begin + stringLength();
  return true;
}

const char* Value::asCString() const {
  if (type_ != stringValue) throwLogicError("in Json::Value::asCString(): requires stringValue");
  return value_.string_ == nullptr ? nullptr : stringData();
}

std::string Value::asString() const {
  switch (type_) {
    case nullValue:
      return {};
    case stringValue:
      return value_.string_ == nullptr ? std::string() : std::string(stringData(), stringLength());
    case booleanValue:
      return value_.bool_ ? "true" : "false";
    case intValue:
      return valueToString(value_.int_);
    case uintValue:
      return valueToString(value_.uint_);
    case realValue:
      return valueToString(value_.real_);
    default:
      break;
  }
  throwLogicError("Type is not convertible to string");
}

LargestInt Value::asLargestInt() const {
  switch (type_) {
    case nullValue:
      return 0;
    case intValue:
      return value_.int_;
    case uintValue:
      if (value_.uint_ > static_cast<LargestUInt>(std::numeric_limits<LargestInt>::max())) {
        throwLogicError("LargestUInt out of Int64 range");
      }
      return static_cast<LargestInt>(value_.uint_);
    case realValue:
      // 2^63 itself is out of range; the negated comparison also turns a NaN away.
      if (!(value_.real_ >= -kTwoToThe63 && value_.real_ < kTwoToThe63)) {
        throwLogicError("double out of Int64 range");
      }
      return static_cast<LargestInt>(value_.real_);
    case booleanValue:
      return value_.bool_ ? 1 : 0;
    default:
      break;
  }
  throwLogicError("Value is not convertible to Int64.");
}

LargestUInt Value::asLargestUInt() const {
  switch (type_) {
    case nullValue:
      return 0;
    case intValue:
      if (value_.int_ < 0) throwLogicError("LargestInt out of UInt64 range");
      return static_cast<LargestUInt>(value_.int_);
    case uintValue:
      return value_.uint_;
    case realValue:
      if (!(value_.real_ >= 0.0 && value_.real_ < kTwoToThe64)) {
        throwLogicError("double out of UInt64 range");
      }
      return static_cast<LargestUInt>(value_.real_);
    case booleanValue:
      return value_.bool_ ? 1 : 0;
    default:
      break;
  }
  throwLogicError("Value is not convertible to UInt64.");
}

double Value::asDouble() const {
  switch (type_) {
    case nullValue:
      return 0.0;
    case intValue:
      return static_cast<double>(value_.int_);
    case uintValue:
      return static_cast<double>(value_.uint_);
    case realValue:
      return value_.real_;
    case booleanValue:
      return value_.bool_ ? 1.0 : 0.0;
    default:
      break;
  }
  throwLogicError("Value is not convertible to double.");
}

bool Value::asBool() const {
  switch (type_) {
    case nullValue:
      return false;
    case intValue:
      return value_.int_ != 0;
    case uintValue:
      return value_.uint_ != 0;
    case realValue:
      return value_.real_ != 0.0;  // a NaN is not 0.0, so it reads as true
    case booleanValue:
      return value_.bool_;
    default:
      break;
  }
  throwLogicError("Value is not convertible to bool.");
}

Value::Members Value::getMemberNames() const {
  if (type_ == nullValue) return {};
  if (type_ != objectValue) {
    throwLogicError("in Json::Value::getMemberNames(), value must be objectValue");
  }
  Members names;
  names.reserve(value_.map_->size());
  for (const auto& member : *value_.map_) {
    names.emplace_back(member.first.data(), member.first.length());
  }
  return names;
}

std::string Value::toStyledString() const {
  return StyledWriter().write(*this);
}

// ---- element access ----

Value& Value::operator[](ArrayIndex index) {
  if (type_ != nullValue && type_ != arrayValue) {
    throwLogicError("in Json::Value::operator[](ArrayIndex): requires arrayValue");
  }
  if (type_ == nullValue) *this = Value(arrayValue);
  const CZString key(index);
  auto it = value_.map_->lower_bound(key);
  if (it != value_.map_->end() && it->first == key) return it->second;
  return value_.map_->emplace_hint(it, key, nullSingleton())->second;
}

Value& Value::operator[](int index) {
  if (index < 0) throwLogicError("in Json::Value::operator[](int index): index cannot be negative");
  return (*this)[static_cast<ArrayIndex>(index)];
}

const Value& Value::operator[](ArrayIndex index) const {
  if (type_ == nullValue) return nullSingleton();
  if (type_ != arrayValue) {
    throwLogicError("in Json::Value::operator[](ArrayIndex)const: requires arrayValue");
  }
  const auto it = value_.map_->find(CZString(index));
  return it == value_.map_->end() ? nullSingleton() : it->second;
}

Value& Value::operator[](const char* name) {
  return resolveReference(name, name + std::strlen(name));
}

Value& Value::operator[](const std::string& name) {
  return resolveReference(name.data(), name.data() + name.size());
}

Value& Value::resolveReference(const char* begin, const char* end) {
  if (type_ != nullValue && type_ != objectValue) {
    throwLogicError("in Json::Value::resolveReference(key, end): requires objectValue");
  }
  if (type_ == nullValue) *this = Value(objectValue);
  const CZString key(begin, static_cast<std::size_t>(end - begin));
  auto it = value_.map_->lower_bound(key);
  if (it != value_.map_->end() && it->first == key) return it->second;
  return value_.map_->emplace_hint(it, CZString::owningCopy(key), nullSingleton())->second;
}

const Value* Value::find(const char* begin, const char* end) const {
  if (type_ == nullValue) return nullptr;
  if (type_ != objectValue) {
    throwLogicError("in Json::Value::find(key, end, found): requires objectValue or nullValue");
  }
  const auto it = value_.map_->find(CZString(begin, static_cast<std::size_t>(end - begin)));
  return it == value_.map_->end() ? nullptr : &it->second;
}

const Value& Value::operator[](const std::string& name) const {
  const Value* found = find(name.data(), name.data() + name.size());
  return found == nullptr ? nullSingleton() : *found;
}

Value& Value::append(const Value& value) {
  Value copy(value);  // before inserting, so a throwing copy leaves this value unchanged
  Value& element = (*this)[size()];
  element.swap(copy);
  return element;
}

// ---- comments ----

void Value::setComment(const std::string& comment, CommentPlacement placement) {
  std::size_t length = comment.size();
  if (length != 0 && comment[length - 1] == '\n') --length;
  length = cappedTextLength(length);
  if (length != 0 && comment[0] != '/') {
    throwLogicError("in Json::Value::setComment(): Comments must start with /");
  }
  std::unique_ptr<char, FreeDeleter> text(duplicateStringValue(comment.data(), length));
  if (!comments_) comments_ = std::make_unique<CommentSlots>();
  comments_->slot[placement].text = std::move(text);
  comments_->slot[placement].length = length;
}

bool Value::hasComment(CommentPlacement placement) const {
  return comments_ && comments_->slot[placement].text != nullptr;
}

std::string Value::getComment(CommentPlacement placement) const {
  if (!hasComment(placement)) return {};
  const Comment& comment = comments_->slot[placement];
  return std::string(comment.text.get(), comment.length);
}

}  // namespace Json
