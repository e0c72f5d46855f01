#pragma once

#include <string>

#include "foundation/json/Value.h"

namespace Json {

// Turns a value tree into JSON text. A writer is used by one thread at a time; writing never
// fails on its own, the value model's exceptions pass through.
class Writer {
 public:
  virtual ~Writer() = default;
  virtual std::string write(const Value& root) = 0;
};

}  // namespace Json
