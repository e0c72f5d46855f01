#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/system/JSUtils.h"
#include "tests/support/CapturingLogger.h"

namespace {

struct JsRun {
  bool ok = false;
  std::string result = "stale";
  wendtest::CapturingLogger log;

  JsRun(const std::string& script, const std::string& function,
        const std::vector<std::string>& arguments = {}) {
    ok = JSUtils::ExecuteJSFunction(script, function, arguments, result, &log);
  }
  bool logged(const std::string& message) const { return log.has(pando::kLogError, message); }
  bool loggedFirst(const std::string& prefix) const {
    return !log.records().empty() && log.records()[0].message.rfind(prefix, 0) == 0;
  }
};

// Arguments are passed as values: quotes, line feeds, backslashes and non-ASCII text arrive
// byte for byte and never end up in source text.
TEST(JSUtilsTest, StringResultsComeBackAsTheyWereReturned) {
  const std::vector<std::string> awkward = {"it's \"quoted\"", "line one\nline two\r\n",
                                            "back\\slash); throw 1; (", "Grüße, 日本 🎉", ""};
  struct Case {
    const char* script;
    const char* function;
    std::vector<std::string> arguments;
    std::string expected;
  } cases[] = {
      {"function f() { return ''; }", "f", {}, ""},
      {"function f(a, b) { return JSON.stringify(JSON.parse(a)) + b; }",
       "f",
       {"{\"x\": 1}", "!"},
       "{\"x\":1}!"},
      {"var ns = { check: function (a) { return 'ns:' + a; } };", "ns.check", {"7"}, "ns:7"},
      {"function echo() { return Array.prototype.join.call(arguments, '|'); }", "echo", awkward,
       awkward[0] + "|" + awkward[1] + "|" + awkward[2] + "|" + awkward[3] + "|"},
  };
  for (const Case& c : cases) {
    JsRun run(c.script, c.function, c.arguments);
    EXPECT_TRUE(run.ok) << c.script;
    EXPECT_EQ(run.result, c.expected) << c.script;
    EXPECT_TRUE(run.log.has(pando::kLogDebug, "Executed JS Function successfully."));
  }
}

TEST(JSUtilsTest, FailuresGiveAnEmptyResultAndSayWhere) {
  const std::string nonString =
      "Return value of JScript is not a string or an exception occured in JSScript passed for "
      "execution.";
  struct Case {
    const char* script;
    const char* function;
    std::string firstMessage;  // the start of the first error logged
  } cases[] = {
      {"function f() { return 42; }", "f", nonString},
      {"function f() { return { a: 'b' }; }", "f", nonString},
      {"function f() { throw new Error('boom'); }", "f", nonString},
      {"function f() { return 'x'; }", "missing", nonString},
      {"function f() { }", "f", nonString},
      {"globalThis.ran = 1; function f( { return 'x'; }", "f", "JS Error: Incorrect Syntax."},
      {"throw new Error('top'); function f() { return 'x'; }", "f",
       "JS Error: Exception: Error: top while evaluating"},
  };
  for (const Case& c : cases) {
    JsRun run(c.script, c.function);
    EXPECT_FALSE(run.ok) << c.script;
    EXPECT_EQ(run.result, "") << c.script;
    EXPECT_TRUE(run.loggedFirst(c.firstMessage)) << c.script;
    if (c.firstMessage == nonString) {
      EXPECT_TRUE(run.logged(
          "JS Error: Failed in function execution. Either the return value is non-string or "
          "function threw an exception."))
          << c.script;
    }
  }
}

// Text that has no faithful form on the other side fails the call instead of arriving cut or empty;
// NULs and characters beyond the first plane arrive whole both ways.
TEST(JSUtilsTest, TextCrossesWholeOrTheCallFails) {
  const char* echo = "function f(a) { return a + '|' + a.length; }";
  const std::string nul("a\0b", 3);
  JsRun whole(echo, "f", {nul + "\xF0\x9F\x8E\x89"});
  EXPECT_TRUE(whole.ok);
  EXPECT_EQ(whole.result, nul + "\xF0\x9F\x8E\x89|5");
  JsRun returnedNul("function f() { return 'a\\u0000b'; }", "f");
  EXPECT_EQ(returnedNul.result, nul);

  JsRun invalidArgument(echo, "f", {"ok", "\xFF"});
  EXPECT_FALSE(invalidArgument.ok);
  EXPECT_TRUE(invalidArgument.logged("JS Error: argument 1 is not UTF-8 text."));
  for (const char* returned : {"'a\\uD800b'", "'a\\uDC00'", "'a\\uD800'"}) {
    JsRun run(std::string("function f() { return ") + returned + "; }", "f");
    EXPECT_FALSE(run.ok) << returned;
    EXPECT_EQ(run.result, "") << returned;
  }
}

// A name pasted into the wrapper's source could carry code: it is refused before any is made.
TEST(JSUtilsTest, HostileFunctionNamesAreRefused) {
  for (const char* name :
       {"f(); globalThis.hit = 'yes'; f", "f()", "", "1f", "a..b", "a.", "f\n"}) {
    JsRun run("globalThis.hit = 'no'; function f() { return hit; }", name);
    EXPECT_FALSE(run.ok) << name;
    EXPECT_EQ(run.result, "") << name;
    EXPECT_TRUE(run.logged(
        "Failed in JSObjectMakeFunction.Exception: Error: the function name is not an identifier "
        "while creating the wrapper function."))
        << name;
  }
  EXPECT_TRUE(JSUtils::isCallableName("$a._b.c9"));
}

// Each call has its own global context: a global set by one run is gone in the next.
TEST(JSUtilsTest, RunsShareNothing) {
  EXPECT_EQ(JsRun("var seen = 'first'; function f() { return seen; }", "f").result, "first");
  EXPECT_EQ(JsRun("function f() { return typeof seen; }", "f").result, "undefined");
}

}  // namespace
