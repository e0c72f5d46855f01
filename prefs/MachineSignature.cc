#include "prefs/MachineSignature.h"

#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/sha.h>

#include <cctype>

#include "platform/files/FileContents.h"

namespace prefs {
namespace {

// A machine id is 32 hex digits and a newline; anything much longer is not one.
constexpr size_t kMaxIdBytes = 4096;

bool readMachineId(const std::string& path, std::string& out) {
  std::string text, error;
  if (!platform::readRegularFile(path, kMaxIdBytes, text, error)) return false;
  while (!text.empty() && isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  if (text.empty()) return false;
  out = std::move(text);
  return true;
}

}  // namespace

MachineIdSignature::MachineIdSignature()
    : MachineIdSignature({"/etc/machine-id", "/var/lib/dbus/machine-id"}) {}

bool MachineIdSignature::signatureFor(uid_t user, std::string& out) const {
  for (const std::string& path : idFiles_) {
    std::string id;
    if (!readMachineId(path, id)) continue;
    std::string material = id + '\0' + std::to_string(user);
    std::string hex;
    try {
      CryptoPP::SHA256 hash;
      CryptoPP::StringSource(
          material, true,
          new CryptoPP::HashFilter(hash,
                                   new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), false)));
    } catch (const CryptoPP::Exception&) {
      return false;
    }
    out = std::move(hex);
    return true;
  }
  return false;
}

}  // namespace prefs
