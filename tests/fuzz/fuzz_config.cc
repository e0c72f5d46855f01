// Reads arbitrary bytes as embedded product details, as a flat configuration document and as
// percent-encoded text. Nothing may throw or crash, decoding never grows a text, and whatever
// configuration is read writes to a document that reads back to the same map, less the entries
// XML cannot carry.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "core/config/ConfigXml.h"
#include "core/config/EmbeddedConfig.h"
#include "foundation/xml/XMLCharacters.h"

namespace {

void checkRoundTrip(const ConfigStore& config, const char* source) {
  std::map<std::string, std::string> writable;
  for (const auto& [key, value] : config.snapshot()) {
    if (XMLCharacters::isValidName(key) && XMLCharacters::isValidText(value)) {
      writable.emplace(key, value);
    }
  }
  ConfigStore again;
  const std::string xml = ConfigMapToXml(config);
  if (!ConfigXmlToMap(again, xml) || again.snapshot() != writable) {
    std::fprintf(stderr, "configuration from %s does not read back:\n%s\n", source, xml.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (UrlDecode(text).size() > text.size()) std::abort();

  ConfigStore fromJson;
  ParseEmbeddedConfigJson(fromJson, text);
  checkRoundTrip(fromJson, "JSON");

  ConfigStore fromXml;
  if (ConfigXmlToMap(fromXml, text)) checkRoundTrip(fromXml, "XML");
  return 0;
}
