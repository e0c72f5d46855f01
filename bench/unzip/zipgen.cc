// wend-zipgen ARCHIVE [MIB]: writes a zip archive of about MIB (default 1024) mebibytes of mixed
// files, as an application package holds them: many small text files in nested folders, medium
// files half text and half binary, a few large binaries stored without compression, folders with
// their modes and some links. The content is fixed by a seeded generator, so runs compare.
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

uint64_t state = 0x9E3779B97F4A7C15ull;

uint64_t next() {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

std::string binary(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i + 8 <= size; i += 8) {
    const uint64_t value = next();
    for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<char>(value >> (8 * b));
  }
  return bytes;
}

std::string text(size_t size) {
  static const char* const words[] = {"install ", "package ", "segment ", "resume ", "folder ",
                                      "archive ", "entry ",   "link ",    "mode ",   "value\n",
                                      "return ",  "const ",   "string ",  "{\n",     "}\n"};
  std::string out;
  out.reserve(size + 16);
  while (out.size() < size) out += words[next() % (sizeof words / sizeof *words)];
  out.resize(size);
  return out;
}

bool add(zipFile zip, const std::string& name, const std::string& data, uint32_t mode, int level) {
  zip_fileinfo info{};
  info.external_fa = static_cast<uLong>(mode) << 16;
  const int method = level == 0 ? 0 : Z_DEFLATED;
  return zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                 level, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0,
                                 3 << 8 | 30, 0, 0) == ZIP_OK &&
         zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK &&
         zipCloseFileInZip(zip) == ZIP_OK;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: wend-zipgen ARCHIVE [MIB]\n");
    return 2;
  }
  const uint64_t total = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024) << 20;
  zipFile zip = zipOpen64(argv[1], APPEND_STATUS_CREATE);
  if (!zip) return 1;
  bool ok = true;
  uint64_t written = 0;
  // 15 % in small text files of 1 to 16 KiB, 40 folders deep up to three levels.
  for (int i = 0; ok && written < total * 15 / 100; ++i) {
    const std::string folder =
        "App/Resources/r" + std::to_string(i % 40) + "/s" + std::to_string(i % 7) + "/";
    if (i < 280) ok = add(zip, folder, "", 040755, 6);
    const std::string data = text(1024 + next() % (15 * 1024));
    ok = ok && add(zip, folder + "file" + std::to_string(i) + ".txt", data, 0100644, 6);
    written += data.size();
  }
  // 45 % in medium files of 256 KiB to 2 MiB, text and binary by turns.
  for (int i = 0; ok && written < total * 60 / 100; ++i) {
    const size_t size = (256 << 10) + next() % (1792 << 10);
    const bool isText = i % 2 == 0;
    const std::string data = isText ? text(size) : binary(size);
    ok = add(zip, "App/Frameworks/lib" + std::to_string(i) + (isText ? ".plist" : ".dylib"), data,
             isText ? 0100644 : 0100755, isText ? 6 : 1);
    written += data.size();
  }
  // The rest in large binaries of 64 MiB, stored as zip tools store what does not compress.
  for (int i = 0; ok && written < total; ++i) {
    const std::string data = binary(std::min<uint64_t>(64 << 20, total - written));
    ok = add(zip, "App/Contents/blob" + std::to_string(i) + ".bin", data, 0100644, 0);
    written += data.size();
  }
  ok = ok && add(zip, "App/Frameworks/Current", "lib1.dylib", 0120755, 6);
  ok = zipClose(zip, nullptr) == ZIP_OK && ok;
  return ok ? 0 : 1;
}
