#include "foundation/system/JSUtils.h"

#include <JavaScriptCore/JavaScript.h>

#include <memory>

#include "foundation/logging/UtilsLog.h"
#include "foundation/text/StringUtils.h"
#include "foundation/text/Utf8Decode.h"
#include "foundation/text/Utf8Encode.h"

// Exported by the engine's library without a public header.
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef context, void* data);
void JSContextGroupSetExecutionTimeLimit(JSContextGroupRef group, double limit,
                                         JSShouldTerminateCallback callback, void* data);
}

namespace JSUtils {
namespace {

constexpr char kComponent[] = "JSUtils";
constexpr double kStopCheckSeconds = 0.05;

// The engine's watchdog calls this each time a script has run another period; true ends it. This
// engine does not start the next period by itself after a false: the limit is set again.
bool askShouldStop(JSContextRef context, void* data) {
  if ((*static_cast<const std::function<bool()>*>(data))()) return true;
  JSContextGroupSetExecutionTimeLimit(JSContextGetGroup(context), kStopCheckSeconds, &askShouldStop,
                                      data);
  return false;
}

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

// An engine string of exactly the text, NULs included; null when it is not well-formed UTF-8,
// which the engine would turn into an empty string.
JsString makeWholeString(const std::string& utf8) {
  std::vector<JSChar> units;
  for (size_t at = 0; at < utf8.size();) {
    const size_t length = Utf8::sequenceLengthAt(utf8, at);
    if (length == 0) return nullptr;
    const auto lead = static_cast<unsigned char>(utf8[at]);
    char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k)
      codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[at + k]) & 0x3F);
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      units.push_back(static_cast<JSChar>(0xD800 + (codePoint >> 10)));
      units.push_back(static_cast<JSChar>(0xDC00 + (codePoint & 0x3FF)));
    } else {
      units.push_back(static_cast<JSChar>(codePoint));
    }
    at += length;
  }
  return JsString(JSStringCreateWithCharacters(units.data(), units.size()));
}

// The whole text of an engine string, NULs included; false at an unpaired surrogate, which has no
// UTF-8 form (the engine's own conversion would stop there).
bool wholeUtf8Of(JSStringRef text, std::string& out) {
  const JSChar* units = JSStringGetCharactersPtr(text);
  const size_t count = JSStringGetLength(text);
  std::string utf8;
  for (size_t i = 0; i < count; ++i) {
    char32_t codePoint = units[i];
    if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
      if (i + 1 == count || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    Utf8::appendCodePoint(codePoint, utf8);
  }
  out = std::move(utf8);
  return true;
}

// For log lines: the engine's conversion, up to its first NUL or unpaired surrogate.
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
    values.add(JSValueMakeString(context, makeWholeString(arguments[i]).get()));
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
                       pando::AbstractLogger* logger, const std::function<bool()>& shouldStop) {
  result.clear();
  // Refused rather than altered: the script would act on text the caller never gave.
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (!makeWholeString(arguments[i])) {
      pando::utilsLog(logger, pando::kLogError, kComponent,
                      "JS Error: argument %zu is not UTF-8 text.", i);
      return false;
    }
  }
  Context context(JSGlobalContextCreate(nullptr));
  if (!context) {
    pando::utilsLog(logger, pando::kLogError, kComponent, "Failed in JSGlobalContextCreate.");
    return false;
  }
  // The context has a group of its own, so the limit reaches no other run.
  if (shouldStop) {
    JSContextGroupSetExecutionTimeLimit(JSContextGetGroup(context.get()), kStopCheckSeconds,
                                        &askShouldStop,
                                        const_cast<std::function<bool()>*>(&shouldStop));
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
    JsString text(JSValueToStringCopy(context.get(), value, nullptr));
    if (text && wholeUtf8Of(text.get(), result)) {
      pando::utilsLog(logger, pando::kLogDebug, kComponent, "Executed JS Function successfully.");
      return true;
    }
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "JS Error: the returned string has an unpaired surrogate and no UTF-8 form.");
    return false;
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
