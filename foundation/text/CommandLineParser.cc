#include "foundation/text/CommandLineParser.h"

#include <cstdarg>
#include <string_view>

#include "foundation/logging/UtilsLog.h"
#include "foundation/xml/XMLCharacters.h"
#include "foundation/xml/XMLParser.h"

namespace {

constexpr const char* kComponent = "CommandLineParser";
constexpr std::string_view kArgumentPrefix = "--";
// The process serial number that the system's launcher may append to a program's arguments.
constexpr std::string_view kProcessSerialNumberPrefix = "-psn";

bool isXmlKey(const std::string& key) {
  return key.size() <= CommandLineParser::kMaxXmlKeyLength && key.find(':') == std::string::npos &&
         XMLCharacters::isValidName(key);
}

}  // namespace

void CommandLineParser::log(int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  pando::utilsVlog(logger_, level, kComponent, format, args);
  va_end(args);
}

bool CommandLineParser::parse(int count, const char* const* arguments) {
  log(pando::kLogInfo, "Parsing the command line provided. Number of command line arguments is %d",
      count);
  if (count < 1 || !arguments) {
    log(pando::kLogError,
        "Argument count is zero. There should be at least one i.e. name of application.");
    return false;
  }
  log(pando::kLogDebug,
      "First command line argument is %s, Assuming the first argument to be executable address "
      "ignoring it.",
      arguments[0] ? arguments[0] : "");
  for (int i = 1; i < count; ++i) parseArgument(arguments[i] ? arguments[i] : "");
  return true;
}

void CommandLineParser::parseArgument(const std::string& argument) {
  log(pando::kLogDebug, "Argument specified is %s", argument.c_str());
  if (argument.starts_with(kProcessSerialNumberPrefix)) return;
  const size_t equals = argument.find('=');
  if (equals == std::string::npos) {
    log(pando::kLogError, "The argument does not contain any \"=\"");
    return;
  }
  const std::string head = argument.substr(0, equals);
  if (!head.starts_with(kArgumentPrefix)) {
    log(pando::kLogError,
        "The \"--\" is not there for the argument. Every argument should have \"--\"");
    return;
  }
  const std::string key = head.substr(kArgumentPrefix.size());
  const std::string value = argument.substr(equals + 1);
  if (key.empty() || value.empty()) {
    log(pando::kLogError, "The argument key or value is empty for %s", argument.c_str());
    return;
  }
  if (!arguments_.emplace(key, value).second) {
    log(pando::kLogError, "The argument %s already sepecified", key.c_str());
  }
}

bool CommandLineParser::hasArgument(const std::string& key) const {
  return arguments_.contains(key);
}

bool CommandLineParser::getArgumentValue(const std::string& key, std::string& value) const {
  const auto found = arguments_.find(key);
  if (found == arguments_.end()) return false;
  value = found->second;
  return true;
}

bool CommandLineParser::setArgument(const std::string& key, const std::string& value) {
  if (key.empty() || value.empty()) return false;
  arguments_[key] = value;
  return true;
}

bool CommandLineParser::getArgumentsXML(std::string& xml) const {
  XMLParser document(logger_);
  XMLNode root = nullptr;
  if (!document.initWithXMLString("<CommandLineArguments/>") || !document.getRootNode(root)) {
    return false;
  }
  for (const auto& [key, value] : arguments_) {
    if (!isXmlKey(key)) {
      log(pando::kLogError,
          "The argument key %s is not a valid XML element name, leaving it out of the arguments "
          "XML",
          key.c_str());
      continue;
    }
    if (!document.addChildToNode(key, value, root)) {
      log(pando::kLogError,
          "The value of the argument %s cannot be carried in XML, leaving it out of the arguments "
          "XML",
          key.c_str());
    }
  }
  return document.getXMLString(xml);
}
