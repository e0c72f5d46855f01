#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/signature/ConfigSigningKey.h"
#include "tools/configsign/ConfigSigner.h"
#include "tools/configsign/KeyFiles.h"

namespace wendtest {

// The throw-away key pairs the build made: "test-key" and "other-key".
inline ConfigSigningKey testSigningKey(const std::string& name = "test-key") {
  ConfigSigningKey key;
  std::string error;
  const std::string path = std::string(WEND_CONFIGSIGN_TESTKEYS) + "/" + name + "/public.pem";
  EXPECT_TRUE(configsign::readPublicKey(path, key.modulus, key.exponent, error)) << error;
  return key;
}

// The "C3Config.sig" document for the file, as the signer writes it.
inline std::string signatureFor(const std::string& path, const std::string& name = "test-key") {
  CryptoPP::RSA::PrivateKey key;
  std::string document, error;
  const std::string keyPath = std::string(WEND_CONFIGSIGN_TESTKEYS) + "/" + name + "/private.pem";
  EXPECT_TRUE(configsign::readPrivateKey(keyPath, key, error) &&
              configsign::signatureDocument(key, path, document, error))
      << error;
  return document;
}

// The text of the first <element> of a signature document.
inline std::string elementText(const std::string& document, const std::string& element) {
  size_t open = document.find("<" + element + ">");
  size_t close = document.find("</" + element + ">");
  if (open == std::string::npos || close == std::string::npos) return "";
  open += element.size() + 2;
  return document.substr(open, close - open);
}

}  // namespace wendtest
