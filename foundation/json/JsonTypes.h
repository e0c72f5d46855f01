#pragma once

#include <cstdint>

namespace Json {

using Int64 = std::int64_t;
using UInt64 = std::uint64_t;
using LargestInt = Int64;
using LargestUInt = UInt64;
using ArrayIndex = std::uint32_t;

// The numbers are what Value::type returns; callers compare against them.
enum ValueType : std::uint8_t {
  nullValue = 0,
  intValue = 1,
  uintValue = 2,
  realValue = 3,
  stringValue = 4,
  booleanValue = 5,
  arrayValue = 6,
  objectValue = 7,
};

enum CommentPlacement {
  commentBefore = 0,
  commentAfterOnSameLine = 1,
  commentAfter = 2,
  numberOfCommentPlacement = 3,
};

}  // namespace Json
