#pragma once

// The optional test hook of the user's process: a shared object named "HTMLViewTester.dylib" in
// the maker's Application Support folder, owned by the user or root and writable by nobody else.
// When present the interface mediator loads it, hands it the command line, registers each page
// with it ("main", "idra", "idraType3") and tells it to finish before the pages go. A hook
// without these functions is skipped; one without registerHTMLView is only initialised.
//
// Every call comes on the main thread. A registered view lives until finalizeTester has been
// called or, for "idraType3", until the next "idraType3" registration replaces it.
namespace mediation {
class HtmlView;
}  // namespace mediation

extern "C" {
using InitializeTesterFn = void (*)(int argc, char** argv);
using RegisterHtmlViewFn = void (*)(const char* name, mediation::HtmlView* view);
using FinalizeTesterFn = void (*)();

// Once, when the mediator is made.
void initializeTester(int argc, char** argv);
// Once per page when it is made.
void registerHTMLView(const char* name, mediation::HtmlView* view);
// Once, when the mediator goes.
void finalizeTester();
}
