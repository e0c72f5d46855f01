#include "tools/htmlviewtester/Scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace htmlviewtester {
namespace {

enum class Operands { kOne, kRest, kWordAndRest, kNone, kSeconds };

struct Verb {
  const char* name;
  StepKind kind;
  Operands operands;
};

constexpr Verb kVerbs[] = {
    {"view", StepKind::kView, Operands::kOne},
    {"timeout", StepKind::kTimeout, Operands::kSeconds},
    {"wait", StepKind::kWait, Operands::kOne},
    {"wait-overlay", StepKind::kWaitOverlay, Operands::kOne},
    {"wait-text", StepKind::kWaitText, Operands::kWordAndRest},
    {"click", StepKind::kClick, Operands::kRest},
    {"type", StepKind::kType, Operands::kWordAndRest},
    {"snapshot", StepKind::kSnapshot, Operands::kNone},
    {"wait-end", StepKind::kWaitEnd, Operands::kNone},
    {"wait-file", StepKind::kWaitFile, Operands::kOne},
};

// A step longer than this cannot wait on anything the installer shows.
constexpr double kLongestTimeoutSeconds = 3600;

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Splits off the first word; `rest` keeps its inner spaces.
void splitWord(const std::string& text, std::string& word, std::string& rest) {
  const auto end = text.find_first_of(" \t");
  word = text.substr(0, end);
  rest = end == std::string::npos ? "" : trimmed(text.substr(end));
}

// The time-out in milliseconds; 0 when the text is no time-out.
long timeoutMs(const std::string& text) {
  double seconds = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, seconds);
  if (error != std::errc() || stop != end || !(seconds > 0) || seconds > kLongestTimeoutSeconds) {
    return 0;
  }
  return std::max(1L, std::lround(seconds * 1000));
}

// Fills the step's operands as its verb wants them; false when they are not there.
bool takeOperands(Operands operands, const std::string& rest, Step& step) {
  std::string word, more;
  splitWord(rest, word, more);
  switch (operands) {
    case Operands::kNone:
      return rest.empty();
    case Operands::kOne:
      step.target = word;
      return !word.empty() && more.empty();
    case Operands::kSeconds:
      step.target = word;
      step.timeoutMs = timeoutMs(word);
      return more.empty() && step.timeoutMs > 0;
    case Operands::kRest:
      step.target = rest;
      return !rest.empty();
    case Operands::kWordAndRest:
      step.target = word;
      step.text = more;
      return !word.empty() && !more.empty();
  }
  return false;
}

}  // namespace

bool parseScenario(const std::string& text, std::vector<Step>& steps, std::string& error) {
  steps.clear();
  error.clear();
  std::istringstream lines(text);
  std::string raw;
  for (int number = 1; std::getline(lines, raw); ++number) {
    const std::string line = trimmed(raw);
    if (line.empty() || line[0] == '#') continue;
    std::string verb, rest;
    splitWord(line, verb, rest);
    const Verb* found = nullptr;
    for (const Verb& candidate : kVerbs) {
      if (verb == candidate.name) found = &candidate;
    }
    Step step{found ? found->kind : StepKind::kSnapshot, "", "", 0, number, line};
    if (!found || !takeOperands(found->operands, rest, step)) {
      error = "line " + std::to_string(number) + " is not a step: \"" + line + "\"";
    } else if (!steps.empty() && steps.back().kind == StepKind::kWaitEnd) {
      error = "line " + std::to_string(number) + " follows wait-end: \"" + line + "\"";
    }
    if (!error.empty()) {
      steps.clear();
      return false;
    }
    steps.push_back(std::move(step));
  }
  return true;
}

}  // namespace htmlviewtester
