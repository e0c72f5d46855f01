#include "foundation/system/CodeSigning.h"

#include <sys/stat.h>

#include "platform/processes/ToolRunner.h"

namespace {

constexpr char kAuthority[] = "Authority=";
constexpr char kSeparator[] = "{|}";

void appendAuthorities(const std::string& text, std::string& chain) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t found = text.find(kAuthority, start);
    if (found != std::string::npos && found < end) {
      size_t name = found + sizeof kAuthority - 1;
      if (!chain.empty()) chain += kSeparator;
      chain.append(text, name, end - name);
    }
    start = end + 1;
  }
}

bool isFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

void getCodeSigningAuthorities(const std::string& path, std::string& chain) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return;
  const std::string tool = platform::toolPath(platform::Tool::kCodesign);
  if (!isFile(tool)) return;
  platform::ToolResult result = platform::runProgram(tool, {"-dvv", path});
  if (!result.succeeded()) return;
  // The platform's tool writes its report to standard error; either stream counts.
  appendAuthorities(result.output, chain);
  appendAuthorities(result.errorOutput, chain);
}

bool getCANameChain(const std::string& path, std::string& chain) {
  chain.clear();
  getCodeSigningAuthorities(path, chain);
  return chain.empty();
}

bool isOrvelCANameChain(const std::string& chain) {
  std::string folded;
  folded.reserve(chain.size());
  for (char c : chain) {
    if (c == ',' || c == '.') continue;
    folded += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return folded.find("orvel systems inc") != std::string::npos;
}
