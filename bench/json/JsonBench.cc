// Parses and writes one 20 MB document with our JSON code and with jsoncpp, then prints how many
// times longer jsoncpp takes (a ratio of 1 or more means ours is no slower).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BenchDocument.h"
#include "JsoncppModule.h"
#include "foundation/json/FastWriter.h"
#include "foundation/json/Reader.h"
#include "foundation/json/StyledWriter.h"

namespace {

constexpr std::size_t kDocumentSize = std::size_t{20} << 20;
constexpr unsigned kSeed = 20240611;
constexpr double kMinimumSeconds = 2.0;

const std::string& document() {
  static const std::string text = makeBenchDocument(kDocumentSize, kSeed);
  return text;
}

JsoncppModule& jsoncpp() {
  static JsoncppModule module(JSONCPP_MODULE_PATH);
  return module;
}

void countBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(document().size()));
}

bool parseOurs(const std::string& text, Json::Value& root) {
  Json::Reader reader{Json::Features()};
  return reader.parse(text.data(), text.data() + text.size(), root);
}

void parseWend(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    Json::Value root;  // built and destroyed in each round, as jsoncpp's is
    if (!parseOurs(text, root)) {
      state.SkipWithError("parse failed");
      break;
    }
    benchmark::DoNotOptimize(root);
  }
  countBytes(state);
}

void parseJsoncpp(benchmark::State& state, JsoncppParseFn parse) {
  const std::string& text = document();
  for (auto _ : state) {
    void* root = parse(text.data(), text.size());
    if (root == nullptr) {
      state.SkipWithError("parse failed");
      break;
    }
    jsoncpp().release(root);
  }
  countBytes(state);
}

template <typename Writer>
void writeWend(benchmark::State& state) {
  Json::Value root;
  if (!parseOurs(document(), root)) {
    state.SkipWithError("parse failed");
    return;
  }
  for (auto _ : state) {
    Writer writer;
    const std::string text = writer.write(root);
    benchmark::DoNotOptimize(text.data());
  }
  countBytes(state);
}

void writeJsoncpp(benchmark::State& state, JsoncppWriteFn write) {
  void* root = jsoncpp().parseReader(document().data(), document().size());
  if (root == nullptr) {
    state.SkipWithError("parse failed");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(write(root));
  jsoncpp().release(root);
  countBytes(state);
}

// The console table, plus each run's real time kept by name for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        milliseconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
  }

  void printRatio(const std::string& ours, const std::string& theirs) const {
    const auto oursTime = milliseconds_.find(ours);
    const auto theirsTime = milliseconds_.find(theirs);
    if (oursTime == milliseconds_.end() || theirsTime == milliseconds_.end()) return;
    std::printf("%-34s %9.1f ms  %-22s %9.1f ms  ratio %.2f\n", theirs.c_str(), theirsTime->second,
                ours.c_str(), oursTime->second, theirsTime->second / oursTime->second);
  }

 private:
  std::map<std::string, double> milliseconds_;
};

void registerBenchmarks() {
  JsoncppModule& module = jsoncpp();
  const auto add = [](const char* name, auto function, auto... arguments) {
    benchmark::RegisterBenchmark(name, function, arguments...)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(kMinimumSeconds)
        ->UseRealTime();
  };
  add("parse/wend", parseWend);
  add("parse/jsoncpp_Reader", parseJsoncpp, module.parseReader);
  add("parse/jsoncpp_CharReader", parseJsoncpp, module.parseCharReader);
  add("write_compact/wend_FastWriter", writeWend<Json::FastWriter>);
  add("write_compact/jsoncpp_FastWriter", writeJsoncpp, module.writeFast);
  add("write_compact/jsoncpp_StreamWriter", writeJsoncpp, module.writeStream);
  add("write_styled/wend_StyledWriter", writeWend<Json::StyledWriter>);
  add("write_styled/jsoncpp_StyledWriter", writeJsoncpp, module.writeStyled);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!jsoncpp().ok()) {
    std::fprintf(stderr, "bench_json: cannot load jsoncpp: %s\n", jsoncpp().error().c_str());
    return 1;
  }
  std::printf("document: %zu bytes\n", document().size());
  registerBenchmarks();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\njsoncpp time / wend time (1 or more: wend is no slower)\n");
  reporter.printRatio("parse/wend", "parse/jsoncpp_Reader");
  reporter.printRatio("parse/wend", "parse/jsoncpp_CharReader");
  reporter.printRatio("write_compact/wend_FastWriter", "write_compact/jsoncpp_FastWriter");
  reporter.printRatio("write_compact/wend_FastWriter", "write_compact/jsoncpp_StreamWriter");
  reporter.printRatio("write_styled/wend_StyledWriter", "write_styled/jsoncpp_StyledWriter");
  benchmark::Shutdown();
  return 0;
}
