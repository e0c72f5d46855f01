#pragma once

#include <functional>
#include <string>
#include <vector>

#include "foundation/logging/AbstractLogger.h"

// Runs one function of a script in JavaScriptCore and hands back what it returned, as text.
// Every call builds a fresh global context and releases it before returning, so nothing of one
// run reaches the next and calls on different threads share nothing. A call blocks for as long as
// the script runs. Messages go to `logger` under "JSUtils", else the utilities' fallbacks.
namespace JSUtils {

// Evaluates `script`, then calls `functionName` with every argument as a JavaScript string
// (values, never pasted into source text, NULs kept). True only when the function returned a
// string, which is then whole in `result` as UTF-8; on every failure (an argument that is not
// well-formed UTF-8, syntax error, a throw, a non-string return, a returned string with an
// unpaired surrogate, a missing function, a function name that is not an identifier with optional
// dotted members) `result` is empty. Never throws. When `shouldStop` is given, the engine's
// watchdog asks it about every 50 ms while the script runs; true ends the run, which then fails
// like a throw.
bool ExecuteJSFunction(const std::string& script, const std::string& functionName,
                       const std::vector<std::string>& arguments, std::string& result,
                       pando::AbstractLogger* logger = nullptr,
                       const std::function<bool()>& shouldStop = nullptr);

// Whether `name` may be pasted into the wrapper's source: identifiers of ASCII letters, digits,
// "_" and "$" (not starting with a digit), joined by single dots.
bool isCallableName(const std::string& name);

}  // namespace JSUtils
