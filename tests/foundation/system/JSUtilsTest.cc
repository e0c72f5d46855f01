#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/system/JSUtils.h"
#include "tests/support/CapturingLogger.h"

namespace {

constexpr char kNonString[] =
    "JS Error: Failed in function execution. Either the return value is non-string or function "
    "threw an exception.";
constexpr char kNotAString[] =
    "Return value of JScript is not a string or an exception occured in JSScript passed for "
    "execution.";

struct JsRun {
  bool ok = false;
  std::string result = "stale";
  wendtest::CapturingLogger log;
};

void execute(JsRun& run, const std::string& script, const std::string& function,
             const std::vector<std::string>& arguments = {}) {
  run.ok = JSUtils::ExecuteJSFunction(script, function, arguments, run.result, &run.log);
}

TEST(JSUtilsTest, StringResultsComeBackAsTheyWereReturned) {
  struct Case {
    const char* script;
    std::vector<std::string> arguments;
    std::string expected;
  } cases[] = {
      {"function f() { return 'plain'; }", {}, "plain"},
      {"function f() { return ''; }", {}, ""},
      {"function f(a, b) { return JSON.stringify(JSON.parse(a)) + b; }",
       {"{\"x\": 1}", "!"},
       "{\"x\":1}!"},
  };
  for (const Case& c : cases) {
    JsRun run;
    execute(run, c.script, "f", c.arguments);
    EXPECT_TRUE(run.ok) << c.script;
    EXPECT_EQ(run.result, c.expected) << c.script;
  }
  JsRun dotted;
  execute(dotted, "var ns = { check: function (a) { return 'ns:' + a; } };", "ns.check", {"7"});
  EXPECT_TRUE(dotted.ok);
  EXPECT_EQ(dotted.result, "ns:7");
  EXPECT_TRUE(dotted.log.has(pando::kLogDebug, "Executed JS Function successfully."));
}

// Arguments are passed as values: quotes, line feeds, backslashes and non-ASCII text arrive
// byte for byte and never end up in source text.
TEST(JSUtilsTest, ArgumentsReachTheFunctionUnchanged) {
  const std::vector<std::string> arguments = {"it's \"quoted\"", "line one\nline two\r\n",
                                              "back\\slash); throw 1; (", "Grüße, 日本 🎉", ""};
  JsRun run;
  execute(run, "function echo() { return Array.prototype.join.call(arguments, '|'); }", "echo",
          arguments);
  ASSERT_TRUE(run.ok);
  std::string expected;
  for (size_t i = 0; i < arguments.size(); ++i) expected += (i ? "|" : "") + arguments[i];
  EXPECT_EQ(run.result, expected);
}

TEST(JSUtilsTest, NonStringOutcomesFailWithAnEmptyResult) {
  struct Case {
    const char* script;
    const char* function;
  } cases[] = {
      {"function f() { return 42; }", "f"},
      {"function f() { return { a: 'b' }; }", "f"},
      {"function f() { throw new Error('boom'); }", "f"},
      {"function f() { return 'x'; }", "missing"},
      {"function f() { }", "f"},
  };
  for (const Case& c : cases) {
    JsRun run;
    execute(run, c.script, c.function);
    EXPECT_FALSE(run.ok) << c.script;
    EXPECT_EQ(run.result, "") << c.script;
    EXPECT_TRUE(run.log.has(pando::kLogError, kNotAString)) << c.script;
    EXPECT_TRUE(run.log.has(pando::kLogError, kNonString)) << c.script;
  }
}

TEST(JSUtilsTest, SyntaxErrorsRunNothing) {
  JsRun run;
  execute(run, "globalThis.ran = 1; function f( { return 'x'; }", "f");
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.result, "");
  EXPECT_TRUE(run.log.has(pando::kLogError, "JS Error: Incorrect Syntax."));
  ASSERT_EQ(run.log.records().size(), 2u);
  EXPECT_EQ(run.log.records()[1].message.rfind("JS Error: Incorrect Syntax Exception: ", 0), 0u);
}

TEST(JSUtilsTest, AThrowAtTopLevelFailsBeforeTheCall) {
  JsRun run;
  execute(run, "throw new Error('top'); function f() { return 'x'; }", "f");
  EXPECT_FALSE(run.ok);
  ASSERT_EQ(run.log.records().size(), 1u);
  EXPECT_EQ(
      run.log.records()[0].message.rfind("JS Error: Exception: Error: top while evaluating", 0),
      0u);
}

// A name pasted into the wrapper's source could carry code: it is refused before any is made.
TEST(JSUtilsTest, HostileFunctionNamesAreRefused) {
  const char* names[] = {"f(); globalThis.hit = 'yes'; f", "f()", "", "1f", "a..b", "a.", "f\n"};
  for (const char* name : names) {
    JsRun run;
    execute(run, "globalThis.hit = 'no'; function f() { return hit; }", name);
    EXPECT_FALSE(run.ok) << name;
    EXPECT_EQ(run.result, "") << name;
    EXPECT_TRUE(run.log.has(pando::kLogError,
                            "Failed in JSObjectMakeFunction.Exception: Error: the function name is "
                            "not an identifier while creating the wrapper function."))
        << name;
  }
  EXPECT_TRUE(JSUtils::isCallableName("$a._b.c9"));
}

// Each call has its own global context: a global set by one run is gone in the next.
TEST(JSUtilsTest, RunsShareNothing) {
  JsRun first, second;
  execute(first, "var seen = 'first'; function f() { return seen; }", "f");
  execute(second, "function f() { return typeof seen; }", "f");
  EXPECT_EQ(first.result, "first");
  EXPECT_EQ(second.result, "undefined");
}

}  // namespace
