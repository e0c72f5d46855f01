#pragma once

#include <memory>

#include "core/context/ContextParts.h"
#include "services/signin/IdraUserProfile.h"

// Installs the online services in the application context: the returned factory builds the
// analytics (ETSWrapper), the sign-in profile (IdraUserProfile) and the survey manager
// (SurveyManager) itself and asks `base` for every other part. The three share one ServiceState,
// which the profile refreshes from the context each time the context sets its environment. The
// program's main passes the result to ApplicationContext::SetPartsFactory; tests may give the
// sign-in hosts (and client secrets) of their own.
std::unique_ptr<IContextPartsFactory> withOnlineServices(
    std::unique_ptr<IContextPartsFactory> base, IdraUserProfile::HostTable hosts = idraHostFor);
