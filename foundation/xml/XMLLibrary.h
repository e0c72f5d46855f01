#pragma once

#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <string>

// The libxml2 glue that the XML components share: owners for the library's allocations, its
// strings seen as ours, and its error reports turned into text.
namespace XMLLibrary {

// Initialises the library once per process, thread-safely, and installs an external-entity
// loader that refuses every load. Call before any other libxml2 use.
void prepare();

struct StringFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using String = std::unique_ptr<xmlChar, StringFree>;

struct BufferFree {
  void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
using Buffer = std::unique_ptr<xmlBuffer, BufferFree>;

inline const xmlChar* xml(const std::string& text) {
  return reinterpret_cast<const xmlChar*>(text.c_str());
}

inline const char* text(const xmlChar* text) {
  return reinterpret_cast<const char*>(text);
}

// A structured-error handler that drops the report: errors are read back from the parser or
// query context that recorded them, so nothing reaches stderr.
void ignoreError(void* context, xmlErrorPtr error);

// The error's message without the trailing line end, or `fallback` when it has none.
std::string describe(const xmlError& error, const char* fallback);

}  // namespace XMLLibrary
