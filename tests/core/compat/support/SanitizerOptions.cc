// UndefinedBehaviorSanitizer reads its suppressions (ubsan.supp beside this file) from here, so
// every test of this folder runs with them whatever UBSAN_OPTIONS says otherwise.
#include <array>
#include <cstddef>
#include <string_view>

namespace {

constexpr std::string_view kFile = __FILE__;
constexpr std::string_view kKey = "suppressions=";
constexpr std::string_view kName = "ubsan.supp";
constexpr std::size_t kFolder = kFile.rfind('/') + 1;

constexpr std::array<char, kKey.size() + kFolder + kName.size() + 1> options() {
  std::array<char, kKey.size() + kFolder + kName.size() + 1> text{};
  std::size_t at = 0;
  for (char c : kKey) text[at++] = c;
  for (char c : kFile.substr(0, kFolder)) text[at++] = c;
  for (char c : kName) text[at++] = c;
  return text;
}

constexpr auto kOptions = options();

}  // namespace

extern "C" const char* __ubsan_default_options() {
  return kOptions.data();
}
