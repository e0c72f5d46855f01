#pragma once

#include <exception>
#include <string>

namespace Json {

// The JSON value model reports misuse by throwing these, by value. Callers that handle untrusted
// documents check types first or catch Json::Exception where the document enters.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message);
  ~Exception() override;
  const char* what() const noexcept override;

 private:
  std::string message_;
};

// Exhausted resources: a string that cannot be allocated.
class RuntimeError : public Exception {
 public:
  using Exception::Exception;
};

// Every misuse of a value: a wrong type for the operation, a conversion out of range.
class LogicError : public Exception {
 public:
  using Exception::Exception;
};

[[noreturn]] void throwRuntimeError(const std::string& message);
[[noreturn]] void throwLogicError(const std::string& message);

}  // namespace Json
