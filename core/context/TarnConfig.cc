#include "core/context/TarnConfig.h"

#include "core/config/ConfigValues.h"
#include "core/signature/ConfigSignatureVerifier.h"
#include "foundation/files/FileUtils.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/xml/XMLParser.h"

namespace {

constexpr char kComponent[] = "ApplicationContext";
constexpr char kPropertyQuery[] = "/C3Config/config/namespace[@name='wend.bootstrapper']/property";

}  // namespace

C3ConfigSignature readC3ConfigSignature(const XMLParser& document) {
  C3ConfigSignature signature;
  std::string size;
  document.stringValueForXQuery("/Signature/FileSize", size);
  signature.fileSize = parseSignedFileSize(size);
  document.stringValueForXQuery("/Signature/CheckSum", signature.checkSum);
  return signature;
}

bool applyC3ConfigProperties(XMLParser& document, ConfigStore& config) {
  int count = 0;
  XMLNodeList properties = document.getNodeListForXQuery(kPropertyQuery, &count);
  if (!properties || count == 0) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "No wend property node found in C3Config xml");
    return false;
  }
  for (int i = 0; i < count; ++i) {
    XMLNode property = document.getNodeAtIndexFromNodeList(properties, i);
    std::string key;
    for (const auto& [name, value] : document.getAttributeMapFromNode(property)) {
      if (name == "name") key = value;
    }
    // The string value, not the markup: "a&amp;b" is the text "a&b".
    std::string value;
    for (const auto& [name, text] : document.getMapOfNode(property)) value = text;
    SetConfigValue(config, key, value);
  }
  return true;
}

bool readTarnConfig(const std::string& folder, const ConfigSigningKey& key, ConfigStore& config) {
  const std::string path = folder + "C3Config.xml";
  const std::string sigPath = folder + "C3Config.sig";
  if (!FileUtils::fileExistsAtPath(path) || !FileUtils::fileExistsAtPath(sigPath)) return false;

  XMLParser sigDocument;
  if (!sigDocument.initWithXMLPath(sigPath)) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Could not initialize C3Config sig file as XML data");
    return false;
  }
  const C3ConfigSignature signature = readC3ConfigSignature(sigDocument);
  SignatureCheckInput input;
  input.filePath = path;
  input.expectedSize = signature.fileSize;
  input.modulus = key.modulus.data();
  input.modulusLength = static_cast<uint32_t>(key.modulus.size());
  input.exponent = key.exponent.data();
  input.exponentLength = static_cast<uint32_t>(key.exponent.size());
  input.signature = signature.checkSum;
  std::string bytes;
  if (uint32_t status = ConfigSignatureVerifier(input, &bytes)) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Signature validation failed for C3Config file! OCE Return status : %lu",
                static_cast<unsigned long>(status));
    return false;
  }
  // The bytes that were verified are the ones parsed: the file is not read a second time.
  XMLParser document;
  if (!document.initWithXMLString(bytes)) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Could not initialize C3Config xml");
    return false;
  }
  return applyC3ConfigProperties(document, config);
}
