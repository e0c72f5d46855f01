#include "tools/testserver/ServerScript.h"

#include <charconv>
#include <sstream>
#include <vector>

namespace testserver {
namespace {

std::vector<std::string> splitWords(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

template <typename Number>
bool parseNumber(std::string_view text, Number& out) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// "name=value" -> value when the word has that name.
bool valueOf(const std::string& word, std::string_view name, std::string_view& value) {
  if (word.size() <= name.size() || word.compare(0, name.size(), name) != 0 ||
      word[name.size()] != '=') {
    return false;
  }
  value = std::string_view(word).substr(name.size() + 1);
  return true;
}

bool parseFaultWord(const std::string& word, Fault& fault) {
  static const std::pair<const char*, FaultKind> kFlags[] = {
      {"stall-before-reply", FaultKind::StallBeforeReply},
      {"close-before-reply", FaultKind::CloseBeforeReply},
      {"ignore-range", FaultKind::IgnoreRange},
      {"wrong-content-range", FaultKind::WrongContentRange},
      {"short-body", FaultKind::ShortBody},
      {"changed-etag", FaultKind::ChangedEtag},
      {"corrupt-body", FaultKind::CorruptBody},
      {"redirect-loop", FaultKind::RedirectLoop},
      {"unsized-short-body", FaultKind::UnsizedShortBody},
  };
  for (const auto& [name, kind] : kFlags) {
    if (word == name) {
      fault.kind = kind;
      return true;
    }
  }
  static const std::pair<const char*, FaultKind> kCounts[] = {
      {"reset-after", FaultKind::ResetAfterBytes},
      {"stall-after", FaultKind::StallAfterBytes},
      {"slow", FaultKind::SlowBody},
      {"head-size", FaultKind::HeadSize},
      {"long-body", FaultKind::LongBody},
  };
  std::string_view value;
  for (const auto& [name, kind] : kCounts) {
    if (valueOf(word, name, value)) {
      fault.kind = kind;
      return parseNumber(value, fault.bytes);
    }
  }
  if (valueOf(word, "status", value)) {
    fault.kind = FaultKind::Status;
    return parseNumber(value, fault.status);
  }
  if (valueOf(word, "version", value)) {  // version=SIZE:SEED
    fault.kind = FaultKind::OtherVersion;
    const size_t colon = value.find(':');
    return colon != std::string_view::npos && parseNumber(value.substr(0, colon), fault.bytes) &&
           parseNumber(value.substr(colon + 1), fault.seed);
  }
  if (valueOf(word, "retry-after", value)) return parseNumber(value, fault.retryAfterSeconds);
  if (valueOf(word, "redirect", value)) {
    fault.kind = FaultKind::Redirect;
    fault.location = value;
    return !value.empty();
  }
  return false;
}

bool parseRule(const std::vector<std::string>& words, Rule& rule) {
  if (words.size() < 3) return false;
  rule.path = words[1];
  bool haveFault = false;
  for (size_t i = 2; i < words.size(); ++i) {
    std::string_view value;
    if (valueOf(words[i], "first", value)) {
      if (!parseNumber(value, rule.firstRequest)) return false;
    } else if (valueOf(words[i], "count", value)) {
      if (!parseNumber(value, rule.requestCount)) return false;
    } else if (parseFaultWord(words[i], rule.fault)) {
      haveFault = true;
    } else {
      return false;
    }
  }
  return haveFault;
}

bool applyLine(const std::string& line, TestServer& server) {
  const std::vector<std::string> words = splitWords(line);
  if (words.empty() || words[0].front() == '#') return true;
  const std::string& directive = words[0];
  if (directive == "generate" && (words.size() == 3 || words.size() == 4)) {
    uint64_t size = 0;
    uint64_t seed = 0;
    if (!parseNumber(words[2], size) || (words.size() == 4 && !parseNumber(words[3], seed))) {
      return false;
    }
    server.addGenerated(words[1], size, seed);
    return true;
  }
  if (directive == "body" && words.size() >= 2) {
    const size_t pathAt = line.find(words[1], line.find("body") + 4);
    const size_t textAt = line.find_first_not_of(" \t", pathAt + words[1].size());
    server.addBody(words[1], textAt == std::string::npos ? "" : line.substr(textAt));
    return true;
  }
  if (directive == "gzip" && words.size() == 2) {
    server.enableGzip(words[1]);
    return true;
  }
  if (directive == "proxy-credentials" && words.size() == 2) {
    server.setProxyCredentials(words[1]);
    return true;
  }
  Rule rule;
  if (directive == "rule" && parseRule(words, rule)) {
    server.addRule(std::move(rule));
    return true;
  }
  return false;
}

}  // namespace

bool applyScript(std::string_view script, TestServer& server, std::string& error) {
  std::istringstream in{std::string(script)};
  unsigned number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!applyLine(line, server)) {
      error = "line " + std::to_string(number) + ": cannot use \"" + line + "\"";
      return false;
    }
  }
  return true;
}

}  // namespace testserver
