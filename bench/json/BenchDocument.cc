#include "BenchDocument.h"

#include <cstdint>
#include <cstdio>
#include <random>

namespace {

const char* const kWords[] = {"alpha",     "Beta",       "gamma",        "delta",
                              "epsilon",   "zeta",       "eta",          "theta",
                              "iota",      "kappa",      "caf\xc3\xa9",  "\xe6\x97\xa5\xe6\x9c\xac",
                              "tab\\tbed", "quote\\\"d", "line\\nbreak", "\\u00e9t\\u00e9"};
constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  void record(std::string& out, std::uint64_t id) {
    out += "{\"id\":" + std::to_string(id);
    out += ",\"name\":";
    text(out, 1 + below(4));
    out += ",\"score\":";
    real(out);
    out += ",\"active\":";
    out += below(2) == 0 ? "true" : "false";
    out += ",\"serial\":" + std::to_string(4294967296ull + random_() % 1000000000000ull);
    out += ",\"delta\":" + std::to_string(static_cast<std::int64_t>(below(200001)) - 100000);
    out += ",\"note\":null,\"tags\":[";
    for (std::uint64_t i = 0, n = below(6); i < n; ++i) {
      if (i != 0) out += ',';
      text(out, 1);
    }
    out += "],\"position\":{\"x\":";
    real(out);
    out += ",\"y\":";
    real(out);
    out += ",\"Layer\":" + std::to_string(below(16)) + "},\"samples\":[";
    for (std::uint64_t i = 0, n = 2 + below(10); i < n; ++i) {
      if (i != 0) out += ',';
      if (below(3) == 0) {
        real(out);
      } else {
        out += std::to_string(below(100000));
      }
    }
    out += "],\"matrix\":[[";
    out += std::to_string(below(10)) + "," + std::to_string(below(10)) + "],[";
    out += std::to_string(below(10)) + "," + std::to_string(below(10)) + "]]}";
  }

 private:
  std::uint64_t below(std::uint64_t limit) { return random_() % limit; }

  void text(std::string& out, std::uint64_t words) {
    out += '"';
    for (std::uint64_t i = 0; i < words; ++i) {
      if (i != 0) out += ' ';
      out += kWords[below(kWordCount)];
    }
    out += '"';
  }

  void real(std::string& out) {
    char buffer[32];
    const double value = static_cast<double>(random_() % 2000000001) / 1000.0 - 1000000.0;
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    out += buffer;
  }

  std::mt19937_64 random_;
};

}  // namespace

std::string makeBenchDocument(std::size_t minimumSize, unsigned seed) {
  Generator generator(seed);
  std::string document = "[";
  document.reserve(minimumSize + 1024);
  for (std::uint64_t id = 0; document.size() < minimumSize; ++id) {
    if (id != 0) document += ",\n";
    generator.record(document, id);
  }
  document += "]\n";
  return document;
}
