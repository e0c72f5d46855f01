#include "JsoncppModule.h"

#include <dlfcn.h>

JsoncppModule::JsoncppModule(const char* path) {
  // Local binding: jsoncpp's Json:: symbols stay out of the global scope, where ours live.
  handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error_ = dlerror();
    return;
  }
  bind(parseReader, kJsoncppParseReader);
  bind(parseCharReader, kJsoncppParseCharReader);
  bind(writeFast, kJsoncppWriteFast);
  bind(writeStream, kJsoncppWriteStream);
  bind(writeStyled, kJsoncppWriteStyled);
  bind(release, kJsoncppFree);
}

JsoncppModule::~JsoncppModule() {
  if (handle_ != nullptr) dlclose(handle_);
}

template <typename Function>
void JsoncppModule::bind(Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(handle_, name));
  if (function == nullptr && error_.empty()) error_ = std::string("missing ") + name;
}
