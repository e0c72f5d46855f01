#pragma once

#include <cstdint>
#include <vector>

// The public half of the key pair that signs "C3Config.xml": a big-endian unsigned modulus and
// public exponent. Plain data; any thread.
struct ConfigSigningKey {
  std::vector<uint8_t> modulus;
  std::vector<uint8_t> exponent;
};

// The release key the build compiled in from WEND_CONFIG_SIGNING_KEY; empty without one, and then
// no configuration file verifies. Never changes; any thread.
const ConfigSigningKey& releaseConfigSigningKey();
