#include "foundation/system/JSUtils.h"

#include <JavaScriptCore/JavaScript.h>

#include <memory>

#include "foundation/logging/UtilsLog.h"
#include "foundation/text/StringUtils.h"

namespace JSUtils {
namespace {

constexpr char kComponent[] = "JSUtils";

struct ContextRelease {
  void operator()(OpaqueJSContext* context) const { JSGlobalContextRelease(context); }
};
struct StringRelease {
  void operator()(OpaqueJSString* text) const { JSStringRelease(text); }
};
using Context = std::unique_ptr<OpaqueJSContext, ContextRelease>;
using JsString = std::unique_ptr<OpaqueJSString, StringRelease>;

JsString makeString(const std::string& utf8) {
  return JsString(JSStringCreateWithUTF8CString(utf8.c_str()));
}

std::string utf8Of(JSStringRef text) {
  const size_t size = JSStringGetMaximumUTF8CStringSize(text);
  auto buffer = std::make_unique<char[]>(size);
  JSStringGetUTF8CString(text, buffer.get(), size);
  return std::string(buffer.get());  // up to the first NUL
}

// The text of a result or of an exception value; empty when it has none.
std::string textOf(JSContextRef context, JSValueRef value) {
  if (value == nullptr) return "";
  JsString text(JSValueToStringCopy(context, value, nullptr));
  return text ? utf8Of(text.get()) : "";
}

bool isIdentifierStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}

bool isIdentifierPart(char c) {
  return isIdentifierStart(c) || (c >= '0' && c <= '9');
}

// Argument values stay reachable for the collector while they sit in a heap array.
class ProtectedValues {
 public:
  explicit ProtectedValues(JSContextRef context) : context_(context) {}
  ProtectedValues(const ProtectedValues&) = delete;
  ProtectedValues& operator=(const ProtectedValues&) = delete;
  ~ProtectedValues() {
    for (JSValueRef value : values_) JSValueUnprotect(context_, value);
  }
  void add(JSValueRef value) {
    JSValueProtect(context_, value);
    values_.push_back(value);
  }
  const std::vector<JSValueRef>& values() const { return values_; }

 private:
  JSContextRef context_;
  std::vector<JSValueRef> values_;
};

// The wrapper's name: the function's name and a fresh UUID's 32 hexadecimal digits. The engine
// writes the name into the wrapper's source, so the dots of a member path become "_".
std::string wrapperName(const std::string& functionName) {
  std::string uuid;
  StringUtils::utilCreateUUIDString(uuid);
  for (const char* mark : {"}", "{", "-"}) StringUtils::utilReplaceAll(uuid, mark, "");
  std::string name = functionName;
  StringUtils::utilReplaceAll(name, ".", "_");
  return name + uuid;
}

// Builds "function <name><uuid>(tarnArg0, ...) { try { return <name>(tarnArg0,...); } catch ... }"
// and calls it with the arguments. True with `value` holding the returned string; otherwise
// `value` is null and `exception` holds what the engine raised, if anything.
bool callJSWrapperFunction(JSContextRef context, const std::string& functionName,
                           const std::vector<std::string>& arguments, JSValueRef& value,
                           JSValueRef& exception, pando::AbstractLogger* logger) {
  std::vector<JsString> names;
  std::vector<JSStringRef> nameRefs;
  ProtectedValues values(context);
  std::string parameterList;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string name = "tarnArg" + std::to_string(i);
    names.push_back(makeString(name));
    nameRefs.push_back(names.back().get());
    values.add(JSValueMakeString(context, makeString(arguments[i]).get()));
    parameterList += (i == 0 ? "" : ",") + name;
  }
  const std::string body =
      "try { return " + functionName + "(" + parameterList + "); } catch (e) { return false;}";
  value = nullptr;
  exception = nullptr;
  // The name is pasted into source text: anything but a (dotted) identifier could run code of
  // its own, so it fails as a wrapper the engine refused would.
  JSObjectRef wrapper = nullptr;
  if (isCallableName(functionName)) {
    wrapper = JSObjectMakeFunction(context, makeString(wrapperName(functionName)).get(),
                                   static_cast<unsigned>(nameRefs.size()), nameRefs.data(),
                                   makeString(body).get(), nullptr, 1, &exception);
  } else {
    JSValueRef message =
        JSValueMakeString(context, makeString("the function name is not an identifier").get());
    exception = JSObjectMakeError(context, 1, &message, nullptr);
  }
  if (exception != nullptr || wrapper == nullptr) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "Failed in JSObjectMakeFunction.Exception: %s while creating the wrapper "
                    "function.",
                    textOf(context, exception).c_str());
    return false;
  }
  JSValueRef returned = JSObjectCallAsFunction(context, wrapper, nullptr, values.values().size(),
                                               values.values().data(), &exception);
  if (exception != nullptr) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "Failed in JSObjectCallAsFunction.Exception: %s while calling the wrapper "
                    "function.",
                    textOf(context, exception).c_str());
    return false;
  }
  if (returned == nullptr) {
    pando::utilsLog(logger, pando::kLogError, kComponent, "Return value of JScript is NULL.");
    return false;
  }
  if (!JSValueIsString(context, returned)) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "Return value of JScript is not a string or an exception occured in JSScript "
                    "passed for execution.");
    return false;
  }
  value = returned;
  return true;
}

}  // namespace

bool isCallableName(const std::string& name) {
  bool atStart = true;
  for (char c : name) {
    if (atStart ? !isIdentifierStart(c) : !(isIdentifierPart(c) || c == '.')) return false;
    atStart = c == '.';
  }
  return !atStart;
}

bool ExecuteJSFunction(const std::string& script, const std::string& functionName,
                       const std::vector<std::string>& arguments, std::string& result,
                       pando::AbstractLogger* logger) {
  result.clear();
  Context context(JSGlobalContextCreate(nullptr));
  if (!context) {
    pando::utilsLog(logger, pando::kLogError, kComponent, "Failed in JSGlobalContextCreate.");
    return false;
  }
  const JsString source = makeString(script);
  JSValueRef exception = nullptr;
  if (!JSCheckScriptSyntax(context.get(), source.get(), nullptr, 1, &exception)) {
    pando::utilsLog(logger, pando::kLogError, kComponent, "JS Error: Incorrect Syntax.");
    if (exception != nullptr) {
      pando::utilsLog(logger, pando::kLogError, kComponent,
                      "JS Error: Incorrect Syntax Exception: %s ",
                      textOf(context.get(), exception).c_str());
    }
    return false;
  }
  exception = nullptr;
  JSEvaluateScript(context.get(), source.get(), nullptr, nullptr, 1, &exception);
  if (exception != nullptr) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "JS Error: Exception: %s while evaluating the script: %s",
                    textOf(context.get(), exception).c_str(), "top-level code");
    return false;
  }
  JSValueRef value = nullptr;
  if (callJSWrapperFunction(context.get(), functionName, arguments, value, exception, logger)) {
    pando::utilsLog(logger, pando::kLogDebug, kComponent, "Executed JS Function successfully.");
    result = textOf(context.get(), value);
    return true;
  }
  pando::utilsLog(logger, pando::kLogError, kComponent,
                  "JS Error: Failed in function execution. Either the return value is non-string "
                  "or function threw an exception.");
  if (exception != nullptr) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "JS Error: Exception: %s while executing function: %s",
                    textOf(context.get(), exception).c_str(), functionName.c_str());
  }
  return false;
}

}  // namespace JSUtils
