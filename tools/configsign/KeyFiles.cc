#include "tools/configsign/KeyFiles.h"

#include <cryptopp/base64.h>
#include <cryptopp/files.h>
#include <cryptopp/osrng.h>
#include <cryptopp/queue.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

namespace configsign {
namespace {

constexpr unsigned kModulusBits = 3072;
constexpr unsigned kPublicExponent = 17;

std::string pem(const std::string& label, const CryptoPP::ByteQueue& der) {
  std::string body;
  CryptoPP::Base64Encoder encoder(new CryptoPP::StringSink(body), true, 64);
  der.CopyTo(encoder);
  encoder.MessageEnd();
  return "-----BEGIN " + label + "-----\n" + body + "-----END " + label + "-----\n";
}

// The DER bytes between the PEM markers of `label`.
bool derOf(const std::string& path, const std::string& label, CryptoPP::ByteQueue& der,
           std::string& error) {
  std::ifstream file(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::string begin = "-----BEGIN " + label + "-----";
  const std::string end = "-----END " + label + "-----";
  size_t from = text.find(begin);
  size_t to = from == std::string::npos ? from : text.find(end, from);
  if (to == std::string::npos) {
    error = path + ": no " + label;
    return false;
  }
  from += begin.size();
  CryptoPP::StringSource(text.substr(from, to - from), true,
                         new CryptoPP::Base64Decoder(new CryptoPP::Redirector(der)));
  return true;
}

bool writeText(const std::string& path, const std::string& text, mode_t mode, std::string& error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file || chmod(path.c_str(), mode) != 0) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

std::vector<uint8_t> bytesOf(const CryptoPP::Integer& value) {
  std::vector<uint8_t> bytes(value.MinEncodedSize());
  value.Encode(bytes.data(), bytes.size());
  return bytes;
}

}  // namespace

bool generateKeyPair(const std::string& folder, std::string& error) {
  try {
    CryptoPP::AutoSeededRandomPool random;
    CryptoPP::InvertibleRSAFunction parameters;
    parameters.Initialize(random, kModulusBits, kPublicExponent);
    CryptoPP::RSA::PrivateKey privateKey(parameters);
    CryptoPP::RSA::PublicKey publicKey(parameters);
    CryptoPP::ByteQueue privateDer, publicDer;
    privateKey.Save(privateDer);
    publicKey.Save(publicDer);
    return writeText(folder + "/private.pem", pem("PRIVATE KEY", privateDer), 0600, error) &&
           writeText(folder + "/public.pem", pem("PUBLIC KEY", publicDer), 0644, error);
  } catch (const CryptoPP::Exception& e) {
    error = e.what();
    return false;
  }
}

bool readPrivateKey(const std::string& path, CryptoPP::RSA::PrivateKey& key, std::string& error) {
  try {
    CryptoPP::ByteQueue der;
    if (!derOf(path, "PRIVATE KEY", der, error)) return false;
    key.Load(der);
    return true;
  } catch (const CryptoPP::Exception& e) {
    error = path + ": " + e.what();
    return false;
  }
}

bool readPublicKey(const std::string& path, std::vector<uint8_t>& modulus,
                   std::vector<uint8_t>& exponent, std::string& error) {
  try {
    CryptoPP::ByteQueue der;
    if (!derOf(path, "PUBLIC KEY", der, error)) return false;
    CryptoPP::RSA::PublicKey key;
    key.Load(der);
    modulus = bytesOf(key.GetModulus());
    exponent = bytesOf(key.GetPublicExponent());
    return true;
  } catch (const CryptoPP::Exception& e) {
    error = path + ": " + e.what();
    return false;
  }
}

}  // namespace configsign
