#pragma once

#include <memory>

#include "applets/AppletHostSettings.h"
#include "core/context/ContextParts.h"

// Puts the applet host into the application context: the factory returned builds the
// LoomIMMessageManager and leaves every other part to `inner`. The program's composition root
// wraps its factory with it before ApplicationContext::SetPartsFactory.
namespace applets {

std::unique_ptr<IContextPartsFactory> withAppletHost(std::unique_ptr<IContextPartsFactory> inner,
                                                     AppletHostSettings settings = {});

}  // namespace applets
