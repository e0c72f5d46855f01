// UndefinedBehaviorSanitizer reads its suppressions (ubsan.supp beside this file) from here, so
// every test of this folder runs with them whatever UBSAN_OPTIONS says otherwise.
namespace {

constexpr char kOptions[] = "suppressions=" WEND_SOURCE_DIR "/tests/core/compat/support/ubsan.supp";

}  // namespace

extern "C" const char* __ubsan_default_options() {
  return kOptions;
}
