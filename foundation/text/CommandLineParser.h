#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "foundation/logging/AbstractLogger.h"

// The program's "--key=value" arguments as a map. The first argument (the program) is never
// parsed; malformed arguments are logged and skipped, and a repeated key keeps its first value.
// Keys compare byte by byte, case-sensitively. Logs under the component "CommandLineParser"
// through the logger set by the owner, else through the foundation's fallbacks.
//
// Not thread-safe: one owner thread at a time.
class CommandLineParser {
 public:
  CommandLineParser() = default;

  // Not owned; must outlive the parser. Null logs through the fallbacks.
  void setLogger(pando::AbstractLogger* logger) { logger_ = logger; }

  // Adds the arguments after the first to the map. False only for a count below 1 (or a null
  // vector); every other problem is a logged, skipped argument.
  bool parse(int count, const char* const* arguments);

  bool hasArgument(const std::string& key) const;
  // False, leaving `value` alone, when the key is absent.
  bool getArgumentValue(const std::string& key, std::string& value) const;
  // False when the key or the value is empty; otherwise sets or replaces the key.
  bool setArgument(const std::string& key, const std::string& value);

  // Longest key that goes into the arguments XML.
  static constexpr size_t kMaxXmlKeyLength = 256;
  // "<CommandLineArguments>" with one child per argument, in key order, named after the key and
  // holding the value as text. An argument whose key is not an XML name without a colon (so no
  // undeclared namespace prefix) of at most kMaxXmlKeyLength bytes, or whose value XML cannot
  // carry, is left out with an error log rather than written as markup.
  bool getArgumentsXML(std::string& xml) const;

 private:
  void log(int level, const char* format, ...) const __attribute__((format(printf, 3, 4)));
  void parseArgument(const std::string& argument);

  std::map<std::string, std::string> arguments_;
  pando::AbstractLogger* logger_ = nullptr;
};
