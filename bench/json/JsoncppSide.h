#pragma once

#include <cstddef>

// The C interface of the jsoncpp module. A handle is a jsoncpp value owned by the module.
extern "C" {
using JsoncppParseFn = void* (*)(const char* text, std::size_t length);
using JsoncppWriteFn = std::size_t (*)(const void* handle);
using JsoncppFreeFn = void (*)(void* handle);
}

// Exported names, looked up with dlsym.
inline constexpr const char* kJsoncppParseReader = "jsoncpp_parse_reader";
inline constexpr const char* kJsoncppParseCharReader = "jsoncpp_parse_char_reader";
inline constexpr const char* kJsoncppWriteFast = "jsoncpp_write_fast";
inline constexpr const char* kJsoncppWriteStream = "jsoncpp_write_stream";
inline constexpr const char* kJsoncppWriteStyled = "jsoncpp_write_styled";
inline constexpr const char* kJsoncppFree = "jsoncpp_free";
