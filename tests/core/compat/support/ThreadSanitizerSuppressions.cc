// The script time limit runs JavaScriptCore's watchdog on a thread of the engine's own, and the
// engine starts a signal thread of its own as well. Neither the engine nor glib is built for
// ThreadSanitizer, so their own locking between those threads and ours, and the glib memory they
// hand over, read as races.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libjavascriptcoregtk-4.1.so\n"
         "race:libglib-2.0.so\n";
}
