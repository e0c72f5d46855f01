#pragma once

#include <cryptopp/rsa.h>

#include <cstdint>
#include <string>
#include <vector>

// Key files of the configuration signer: "private.pem" (PKCS #8) and "public.pem" (X.509
// SubjectPublicKeyInfo), both PEM text made with Crypto++. Stateless; any thread.
namespace configsign {

// A fresh 3072-bit pair with public exponent 17, written into `folder` (private key 0600).
bool generateKeyPair(const std::string& folder, std::string& error);

bool readPrivateKey(const std::string& path, CryptoPP::RSA::PrivateKey& key, std::string& error);
// The public key's modulus and exponent as big-endian unsigned bytes, as the verifier takes them.
bool readPublicKey(const std::string& path, std::vector<uint8_t>& modulus,
                   std::vector<uint8_t>& exponent, std::string& error);

}  // namespace configsign
