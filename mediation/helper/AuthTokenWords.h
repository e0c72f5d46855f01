#pragma once

// The two fixed words around the time text of the install helper's authentication token. The
// helper holds the same words; changing one here breaks every handshake with a deployed helper.
namespace mediation {

inline constexpr char kAuthTokenPrefix[] = "WHARF";  // 5 upper-case letters
inline constexpr char kAuthTokenSuffix[] = "ELM";    // 3 upper-case letters

}  // namespace mediation
