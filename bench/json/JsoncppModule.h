#pragma once

#include <string>

#include "JsoncppSide.h"

// The loaded jsoncpp module; unloaded on destruction. ok() is false when it could not be loaded,
// and error() says why.
class JsoncppModule {
 public:
  explicit JsoncppModule(const char* path);
  ~JsoncppModule();
  JsoncppModule(const JsoncppModule&) = delete;
  JsoncppModule& operator=(const JsoncppModule&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  JsoncppParseFn parseReader = nullptr;
  JsoncppParseFn parseCharReader = nullptr;
  JsoncppWriteFn writeFast = nullptr;
  JsoncppWriteFn writeStream = nullptr;
  JsoncppWriteFn writeStyled = nullptr;
  JsoncppFreeFn release = nullptr;

 private:
  template <typename Function>
  void bind(Function& function, const char* name);

  void* handle_ = nullptr;
  std::string error_;
};
