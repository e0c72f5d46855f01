#pragma once

#include <memory>

#include "core/context/ContextParts.h"

// Puts the two-process link into the application context: the factory returned builds the
// MessageGateway and each workflow's InstallHelperInterface and leaves every other part to
// `inner`. The program's composition root wraps
// its factory with it before ApplicationContext::SetPartsFactory.
namespace mediation {

std::unique_ptr<IContextPartsFactory> withMediation(std::unique_ptr<IContextPartsFactory> inner);

}  // namespace mediation
