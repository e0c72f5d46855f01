// configsign: the signing side of "C3Config.xml", kept out of the installer.
//   configsign keygen <folder>                       private.pem and public.pem, a fresh pair
//   configsign sign <private.pem> <C3Config.xml> <C3Config.sig>
//   configsign embed <public.pem> <source.cc>         the installer's compiled-in release key
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/configsign/ConfigSigner.h"
#include "tools/configsign/KeyFiles.h"

namespace {

std::string byteList(const std::vector<uint8_t>& bytes) {
  std::string text;
  char item[8];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(item, sizeof item, "0x%02x,", bytes[i]);
    text += (i % 12 == 0 ? "\n     " : " ") + std::string(item);
  }
  return text;
}

bool embed(const std::string& publicKey, const std::string& output, std::string& error) {
  std::vector<uint8_t> modulus, exponent;
  if (!configsign::readPublicKey(publicKey, modulus, exponent, error)) return false;
  std::ofstream file(output, std::ios::trunc);
  file << "// Made by configsign from " << publicKey << "; do not edit.\n"
       << "#include \"core/signature/ConfigSigningKey.h\"\n\n"
       << "const ConfigSigningKey& releaseConfigSigningKey() {\n"
       << "  static const ConfigSigningKey key{{" << byteList(modulus) << "},\n    {"
       << byteList(exponent) << "}};\n  return key;\n}\n";
  file.close();
  if (!file) error = "cannot write " + output;
  return static_cast<bool>(file);
}

bool sign(const std::string& privateKey, const std::string& config, const std::string& signature,
          std::string& error) {
  CryptoPP::RSA::PrivateKey key;
  std::string document;
  if (!configsign::readPrivateKey(privateKey, key, error) ||
      !configsign::signatureDocument(key, config, document, error)) {
    return false;
  }
  std::ofstream file(signature, std::ios::binary | std::ios::trunc);
  file << document;
  file.close();
  if (!file) error = "cannot write " + signature;
  return static_cast<bool>(file);
}

int usage() {
  std::fprintf(stderr,
               "usage: configsign keygen <folder>\n"
               "       configsign sign <private.pem> <C3Config.xml> <C3Config.sig>\n"
               "       configsign embed <public.pem> <source.cc>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  bool done = false;
  if (args.size() == 2 && args[0] == "keygen") {
    done = configsign::generateKeyPair(args[1], error);
  } else if (args.size() == 4 && args[0] == "sign") {
    done = sign(args[1], args[2], args[3], error);
  } else if (args.size() == 3 && args[0] == "embed") {
    done = embed(args[1], args[2], error);
  } else {
    return usage();
  }
  if (!done) std::fprintf(stderr, "configsign: %s\n", error.c_str());
  return done ? 0 : 1;
}
