#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace orvel::PackageDownloadManager {

// The digests of an asset's fixed-size segments, read from a validation document
// ("validation.xml"): segment n (0-based) covers bytes n * segmentSize onward, the last one
// lastSegmentSize bytes. Checks single segments (validateSegment, called by the engine's
// downloader threads while the asset arrives) and whole files (an asset already on disk).
//
// Threads: initFromXML and createValidationFile change the validator and run alone; afterwards
// validateSegment, validateWholeFile and the getters only read and may run on any threads at once.
// Failures log under the tag "Validator" and answer false; nothing throws.
class ValidatorBase {
 public:
  virtual ~ValidatorBase() = default;
  ValidatorBase(const ValidatorBase&) = delete;
  ValidatorBase& operator=(const ValidatorBase&) = delete;

  // Hashes each segment of the data file and writes a validation document describing it.
  virtual bool createValidationFile(const std::string& dataPath, const std::string& validationPath,
                                    uint32_t segmentSize);
  // Reads the validation document: sizes, count and one digest per numbered segment.
  virtual bool initFromXML(const std::string& validationPath);
  // True when the bytes' digest equals the one stored for the 0-based index (case-sensitive).
  virtual bool validateSegment(const uint8_t* bytes, uint32_t length, uint32_t index) const;
  // The digest of the bytes as lower-case hexadecimal text.
  virtual bool getHashString(const uint8_t* bytes, uint32_t length, std::string& out) const = 0;
  // (segmentCount - 1) * segmentSize + lastSegmentSize; 0 without segments.
  virtual uint64_t getFileSize() const;
  virtual uint32_t getSegmentSize() const { return segmentSize_; }
  // True when the file has the described size and every segment matches; a file of another size
  // is not read.
  virtual bool validateWholeFile(const std::string& path) const;
  virtual bool getSignatureStringOfData(const uint8_t* bytes, uint32_t length, uint8_t* digest,
                                        uint32_t& digestLength) const = 0;
  // Two lower-case hexadecimal digits per byte and a NUL; false when the buffer is too small.
  virtual bool getHashValueInHex(const uint8_t* digest, uint32_t length, char* buffer,
                                 uint32_t size) const;
  // The document for the stored digests, pretty-printed UTF-8, replacing the file atomically.
  virtual bool writeValidationXML(const std::string& validationPath) const;

  const std::string& getAlgorithm() const { return algorithm_; }
  uint32_t getSegmentCount() const { return segmentCount_; }

 protected:
  ValidatorBase(std::string algorithm, uint32_t algorithmCode)
      : algorithmCode_(algorithmCode), algorithm_(std::move(algorithm)) {}

 private:
  // Calls `block` with each segment of the open file in order; false at a read error or when
  // `block` refuses one.
  template <typename Block>
  bool forEachSegment(int fd, uint64_t fileSize, uint32_t segmentSize, Block block) const;

  uint32_t segmentSize_ = 0;
  uint32_t lastSegmentSize_ = 0;
  uint32_t algorithmCode_;
  std::map<uint32_t, std::string> segmentHashes_;  // 0-based segment index to digest text
  uint32_t segmentCount_ = 0;
  std::string algorithm_;
};

}  // namespace orvel::PackageDownloadManager
