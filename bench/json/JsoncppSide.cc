// jsoncpp behind a C interface, built as its own module (see CMakeLists.txt). Only the comparison
// benchmark uses it.
#include "JsoncppSide.h"

#include <json/json.h>

#include <memory>
#include <string>

#define JSONCPP_SIDE_EXPORT extern "C" __attribute__((visibility("default")))

// The classic reader, the counterpart of ours: comments collected, default features.
JSONCPP_SIDE_EXPORT void* jsoncpp_parse_reader(const char* text, std::size_t length) {
  auto value = std::make_unique<Json::Value>();
  Json::Reader reader;
  if (!reader.parse(text, text + length, *value, true)) return nullptr;
  return value.release();
}

// The builder-made reader jsoncpp recommends today.
JSONCPP_SIDE_EXPORT void* jsoncpp_parse_char_reader(const char* text, std::size_t length) {
  auto value = std::make_unique<Json::Value>();
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  if (!reader->parse(text, text + length, value.get(), &errors)) return nullptr;
  return value.release();
}

JSONCPP_SIDE_EXPORT std::size_t jsoncpp_write_fast(const void* handle) {
  Json::FastWriter writer;
  return writer.write(*static_cast<const Json::Value*>(handle)).size();
}

JSONCPP_SIDE_EXPORT std::size_t jsoncpp_write_stream(const void* handle) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, *static_cast<const Json::Value*>(handle)).size();
}

JSONCPP_SIDE_EXPORT std::size_t jsoncpp_write_styled(const void* handle) {
  Json::StyledWriter writer;
  return writer.write(*static_cast<const Json::Value*>(handle)).size();
}

JSONCPP_SIDE_EXPORT void jsoncpp_free(void* handle) {
  delete static_cast<Json::Value*>(handle);
}
