#pragma once

#include <memory>

#include "core/context/ContextParts.h"

// Puts the silent view mediator into the elevated copy's application context: the factory
// returned builds ViewMediatorSilent when asked for the silent process's mediator and leaves
// every other part, the user's process's mediator included, to `inner`. The program's
// composition root wraps its factory with it (inside mediation::withMediation).
namespace mediation {

std::unique_ptr<IContextPartsFactory> withViewMediators(
    std::unique_ptr<IContextPartsFactory> inner);

}  // namespace mediation
