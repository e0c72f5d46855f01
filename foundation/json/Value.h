#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/json/Exception.h"
#include "foundation/json/JsonTypes.h"
#include "foundation/json/NumberText.h"

namespace Json {

class Reader;
class FastWriter;
class StyledWriter;

// One JSON value: null, a signed or unsigned 64-bit integer, a double, a string, a bool, an
// array or an object. Object member names are ordered and compared without regard to ASCII letter
// case, over their whole length (NUL bytes included): UserId and userid are one member,
// which keeps the case of its first insertion. Arrays are sparse maps from index to element; their
// size is the largest index plus one.
//
// Misuse (a wrong type for an operation, a conversion out of range) throws Json::LogicError; a
// failed allocation of a string throws Json::RuntimeError. A value that threw is unchanged.
// A value owns everything it points to; references returned by operator[] and append stay valid
// until the container is destroyed or overwritten. No lock: one value tree is used by one thread
// at a time; nullSingleton() is immutable and may be read from any thread.
class Value {
 public:
  using Members = std::vector<std::string>;

  // Key of the member map: an array index or a member name. The map's own keys own their text; a
  // key made for a lookup points at the caller's bytes and copies nothing. Names longer than
  // kMaxNameLength bytes are cut there.
  class CZString {
   public:
    static constexpr std::uint32_t kMaxNameLength = 2147483646u;

    explicit CZString(ArrayIndex index);
    // A lookup key over [name, name + length); the bytes must outlive the key.
    CZString(const char* name, std::size_t length);
    // An owning copy of the key's name (or the same index).
    static CZString owningCopy(const CZString& key);

    CZString(const CZString& other);
    CZString(CZString&& other) noexcept;
    CZString& operator=(const CZString&) = delete;
    CZString& operator=(CZString&&) = delete;
    ~CZString();

    bool operator<(const CZString& other) const;
    bool operator==(const CZString& other) const;

    ArrayIndex index() const { return indexOrLength_; }
    const char* data() const { return name_; }
    std::uint32_t length() const { return indexOrLength_; }

   private:
    CZString(const char* name, std::uint32_t length, bool owned);

    const char* name_;  // null for an index key
    std::uint32_t indexOrLength_;
    bool owned_;
  };

  using ObjectValues = std::map<CZString, Value>;

  // The constructors are implicit on purpose: trees are built as object["key"] = 5.
  // The empty payload of the type: null, 0, 0.0, a string without storage, false, or an empty
  // array or object.
  Value(ValueType type = nullValue);
  // Plain int and unsigned literals pick the 64-bit forms without an ambiguous conversion.
  Value(int value);
  Value(unsigned value);
  Value(Int64 value);
  Value(UInt64 value);
  Value(double value);
  // A string value owning a copy of the text up to its NUL.
  Value(const char* text);
  // A string value owning a copy of every byte, NUL bytes included.
  Value(const std::string& text);
  Value(bool value);
  Value(const Value& other);
  Value(Value&& other) noexcept;
  Value& operator=(Value other) noexcept;
  ~Value();

  // Exchanges everything: payload, type, comments and offsets.
  void swap(Value& other) noexcept;
  // Exchanges payload and type only; comments and offsets stay where they are.
  void swapPayload(Value& other) noexcept;

  static const Value& nullSingleton();

  ValueType type() const { return type_; }
  bool isNull() const { return type_ == nullValue; }
  bool isArray() const { return type_ == arrayValue; }
  bool isObject() const { return type_ == objectValue; }

  // Members of an object, largest index plus one of an array, 0 for anything else.
  ArrayIndex size() const;
  // True for null and for an array or object of size 0; an empty string is not empty.
  bool empty() const;

  // The byte range of a string with storage; false for anything else.
  bool getString(const char** begin, const char** end) const;
  // The text of a string value, null for a string without storage.
  const char* asCString() const;
  std::string asString() const;
  LargestInt asLargestInt() const;
  LargestUInt asLargestUInt() const;
  double asDouble() const;
  bool asBool() const;

  // Member names in map order (case-insensitive ascending); empty for null.
  Members getMemberNames() const;
  std::string toStyledString() const;

  // Non-const access turns a null value into an empty array or object first (dropping its
  // comments and offsets) and inserts a null element or member when none exists.
  Value& operator[](ArrayIndex index);
  Value& operator[](int index);
  Value& operator[](const char* name);
  Value& operator[](const std::string& name);
  // Const access never inserts; what is missing reads as nullSingleton().
  const Value& operator[](ArrayIndex index) const;
  const Value& operator[](const std::string& name) const;
  // The member named [begin, end) without regard to case, or null when there is none.
  const Value* find(const char* begin, const char* end) const;
  // Copies the value to index size() (after the largest index) and returns the new element.
  Value& append(const Value& value);

  // The text must be empty or start with "/"; one final line feed is dropped.
  void setComment(const std::string& comment, CommentPlacement placement);
  bool hasComment(CommentPlacement placement) const;
  std::string getComment(CommentPlacement placement) const;

  // Byte offsets of the value's text in the document it was read from; 0 when not read.
  void setOffsetStart(std::ptrdiff_t start) { start_ = static_cast<std::int32_t>(start); }
  void setOffsetLimit(std::ptrdiff_t limit) { limit_ = static_cast<std::int32_t>(limit); }
  std::ptrdiff_t getOffsetStart() const { return start_; }
  std::ptrdiff_t getOffsetLimit() const { return limit_; }

 private:
  friend class Reader;
  friend class FastWriter;
  friend class StyledWriter;

  struct FreeDeleter {
    void operator()(char* text) const;
  };
  // A comment keeps all its bytes, a NUL included, so that a styled document reads back whole.
  struct Comment {
    std::unique_ptr<char, FreeDeleter> text;
    std::size_t length = 0;
  };
  struct CommentSlots {
    Comment slot[numberOfCommentPlacement];
  };

  // A string value over a copy of [begin, end).
  Value(const char* begin, const char* end);

  Value& resolveReference(const char* begin, const char* end);
  void releasePayload() noexcept;
  std::uint32_t stringLength() const;
  const char* stringData() const;

  union ValueHolder {
    LargestInt int_;
    LargestUInt uint_;
    double real_;
    bool bool_;
    char* string_;  // length-prefixed block from malloc, or null for a string without storage
    ObjectValues* map_;
  } value_;
  std::unique_ptr<CommentSlots> comments_;
  std::int32_t start_ = 0;
  std::int32_t limit_ = 0;
  ValueType type_;
};

}  // namespace Json
