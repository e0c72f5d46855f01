// Treats arbitrary bytes as a stored value read back from the preferences database: the decoder may
// only refuse them. The same bytes, sealed as a value, must open to exactly themselves, and no
// longer open once the sealed form is cut.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "prefs/ValueCipher.h"

namespace {

const prefs::ValueCipher& cipher() {
  static const prefs::ValueCipher instance(
      prefs::ValueCipher::deriveKey("fuzz machine", "PANDO", "ProxyCredentials"));
  return instance;
}

bool opens(const std::string& sealed, std::string& value) {
  return cipher().open(reinterpret_cast<const uint8_t*>(sealed.data()), sealed.size(), value);
}

void fail(const char* what, size_t size) {
  std::fprintf(stderr, "%s (input of %zu bytes)\n", what, size);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string value;
  cipher().open(data, size, value);

  std::string text(reinterpret_cast<const char*>(data), size);
  std::string sealed;
  if (!cipher().seal(text, sealed)) fail("a value was not sealed", size);
  std::string back;
  if (!opens(sealed, back) || back != text) fail("a sealed value did not open to itself", size);
  std::string cut = sealed.substr(0, size % sealed.size());
  if (opens(cut, back)) fail("a cut sealed value opened", size);
  return 0;
}
