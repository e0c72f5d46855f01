#pragma once

#include <cstdint>

#include "mediation/ui/gtk/GtkUiShell.h"

class ApplicationContext;

// What the windows ask of the rest of the process, answered from the application context. The
// handlers read the context's mediator and workflow when they run (both are made after the
// windows), so they may be made early; `context` must outlive them. Main thread.

// Whether the application may end in this workflow state: the final states, after a failed
// installation (FailedFinal) or otherwise (Final).
bool applicationMayEnd(uint32_t stateCode);

// Quit: allowed in a final state (or without a workflow), else the mediator gets the page's
// "cancelButtonClicked" with empty data. The type-3 window's close: the interface page and its
// spinner come back and the workflow starts the sign-in step again (SignIn). Menu texts: the
// mediator's, with the configured product name.
mediation::ShellHandlers shellHandlers(ApplicationContext& context);
