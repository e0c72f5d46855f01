#pragma once

#include <zip.h>
#include <zlib.h>

#include <cstdint>
#include <string>

namespace wendtest {

// Builds zip archives with minizip's writer, entries as a macOS or Unix zip tool would make
// them: Unix "version made by" and the file type and mode in the upper external attributes.
class ZipWriter {
 public:
  explicit ZipWriter(const std::string& path)
      : zip_(zipOpen64(path.c_str(), APPEND_STATUS_CREATE)) {}
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;
  ~ZipWriter() { close(); }

  ZipWriter& file(const std::string& name, const std::string& data, uint32_t mode = 0100644) {
    return add(name, data, mode, Z_DEFLATED);
  }
  ZipWriter& folder(const std::string& name, uint32_t mode = 040755) {
    return add(name, "", mode, Z_DEFLATED);
  }
  ZipWriter& link(const std::string& name, const std::string& target) {
    return add(name, target, 0120755, Z_DEFLATED);
  }
  // An entry whose central record claims `size` bytes with `crc`, its data stored as given.
  ZipWriter& stored(const std::string& name, const std::string& data, uint64_t size, uint32_t crc,
                    int method = 0) {
    if (open(name, 0100644, method, true, size > 0xFFFFFFFFu)) {
      ok_ = zipWriteInFileInZip(zip_, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK &&
            zipCloseFileInZipRaw64(zip_, size, crc) == ZIP_OK && ok_;
    }
    return *this;
  }
  ZipWriter& add(const std::string& name, const std::string& data, uint32_t mode, int method) {
    if (open(name, mode, method, false, false)) {
      ok_ = zipWriteInFileInZip(zip_, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK &&
            zipCloseFileInZip(zip_) == ZIP_OK && ok_;
    }
    return *this;
  }

  // Writes the central directory. False when anything failed on the way.
  bool close() {
    if (!zip_) return ok_;
    ok_ = zipClose(zip_, nullptr) == ZIP_OK && ok_;
    zip_ = nullptr;
    return ok_;
  }

  zipFile handle() const { return zip_; }

  bool open(const std::string& name, uint32_t mode, int method, bool raw, bool zip64) {
    zip_fileinfo info{};
    info.external_fa = static_cast<uLong>(mode) << 16;
    const uLong madeOnUnix = 3 << 8 | 30;
    ok_ = zip_ &&
          zipOpenNewFileInZip4_64(zip_, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  method, method ? Z_DEFAULT_COMPRESSION : 0, raw ? 1 : 0,
                                  -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, madeOnUnix, 0,
                                  zip64 ? 1 : 0) == ZIP_OK &&
          ok_;
    return ok_;
  }

 private:
  zipFile zip_;
  bool ok_ = true;
};

}  // namespace wendtest
