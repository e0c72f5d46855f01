#include "foundation/xml/XMLLibrary.h"

#include <libxml/parser.h>

#include <mutex>

namespace XMLLibrary {
namespace {

// Loading is never wanted: even a parse option that asked for it must not reach the disk or the
// network.
xmlParserInputPtr refuseExternalLoad(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

}  // namespace

void prepare() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(refuseExternalLoad);
  });
}

void ignoreError(void*, xmlErrorPtr) {}

std::string describe(const xmlError& error, const char* fallback) {
  if (!error.message) return fallback;
  std::string message = error.message;
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

}  // namespace XMLLibrary
