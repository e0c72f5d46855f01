#include "foundation/json/Exception.h"

#include <utility>

namespace Json {

Exception::Exception(std::string message) : message_(std::move(message)) {}

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
  return message_.c_str();
}

void throwRuntimeError(const std::string& message) {
  throw RuntimeError(message);
}

void throwLogicError(const std::string& message) {
  throw LogicError(message);
}

}  // namespace Json
