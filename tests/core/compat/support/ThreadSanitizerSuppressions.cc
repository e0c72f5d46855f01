// The script time limit runs JavaScriptCore's watchdog on a thread of the engine's own. The engine
// is not built for ThreadSanitizer, so its own locking between that thread and ours reads as races.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libjavascriptcoregtk-4.1.so\n";
}
