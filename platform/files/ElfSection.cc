#include "platform/files/ElfSection.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include "platform/UniqueFd.h"
#include "platform/files/ByteOrder.h"

namespace platform {
namespace {

// ELF64 layout: the fields this reader needs, at their offsets.
constexpr size_t kHeaderSize = 64;
constexpr size_t kClassOffset = 4;
constexpr size_t kDataOffset = 5;
constexpr unsigned char kClass64 = 2;
constexpr unsigned char kLittleEndian = 1;
constexpr size_t kSectionTableOffset = 0x28;
constexpr size_t kSectionEntrySizeOffset = 0x3A;
constexpr size_t kSectionCountOffset = 0x3C;
constexpr size_t kNamesIndexOffset = 0x3E;
constexpr size_t kSectionEntryMinimum = 64;
constexpr size_t kSectionNameOffset = 0x00;
constexpr size_t kSectionTypeOffset = 0x04;
constexpr size_t kSectionFileOffset = 0x18;
constexpr size_t kSectionSizeOffset = 0x20;
constexpr uint32_t kTypeNoBits = 8;  // occupies no bytes in the file

template <typename T>
T readLittle(std::string_view bytes, size_t at) {
  return loadLittle<T>(bytes.data() + at);
}

// The range [offset, offset + size) of `file`, or false when it does not lie inside.
bool slice(std::string_view file, uint64_t offset, uint64_t size, std::string_view& out) {
  if (offset > file.size() || size > file.size() - offset) return false;
  out = file.substr(offset, size);
  return true;
}

struct SectionHeader {
  uint32_t name;
  uint32_t type;
  uint64_t offset;
  uint64_t size;
};

SectionHeader sectionHeader(std::string_view entry) {
  return {readLittle<uint32_t>(entry, kSectionNameOffset),
          readLittle<uint32_t>(entry, kSectionTypeOffset),
          readLittle<uint64_t>(entry, kSectionFileOffset),
          readLittle<uint64_t>(entry, kSectionSizeOffset)};
}

bool sectionData(std::string_view file, const SectionHeader& header, std::string_view& out) {
  return header.type != kTypeNoBits && slice(file, header.offset, header.size, out);
}

// The NUL-terminated name at `offset` in the names table; false when it runs off its end.
bool nameAt(std::string_view names, uint32_t offset, std::string_view& out) {
  if (offset >= names.size()) return false;
  size_t end = names.find('\0', offset);
  if (end == std::string_view::npos) return false;
  out = names.substr(offset, end - offset);
  return true;
}

class Mapping {
 public:
  Mapping(int fd, size_t size) : size_(size) {
    if (size == 0) return;  // nothing to map; an empty view is not ELF anyway
    void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (address != MAP_FAILED) address_ = address;
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() {
    if (address_) munmap(address_, size_);
  }
  bool failed() const { return size_ != 0 && !address_; }
  std::string_view bytes() const {
    return address_ ? std::string_view(static_cast<const char*>(address_), size_)
                    : std::string_view();
  }

 private:
  void* address_ = nullptr;
  size_t size_;
};

}  // namespace

bool findElfSection(std::string_view file, std::string_view name, std::string_view& section) {
  if (file.size() < kHeaderSize ||
      file.substr(0, 4) !=
          "\x7F"
          "ELF" ||
      static_cast<unsigned char>(file[kClassOffset]) != kClass64 ||
      static_cast<unsigned char>(file[kDataOffset]) != kLittleEndian) {
    return false;
  }
  uint64_t tableOffset = readLittle<uint64_t>(file, kSectionTableOffset);
  uint64_t entrySize = readLittle<uint16_t>(file, kSectionEntrySizeOffset);
  uint64_t count = readLittle<uint16_t>(file, kSectionCountOffset);
  uint64_t namesIndex = readLittle<uint16_t>(file, kNamesIndexOffset);
  std::string_view table;
  if (entrySize < kSectionEntryMinimum || namesIndex >= count ||
      !slice(file, tableOffset, count * entrySize, table)) {
    return false;
  }
  std::string_view names;
  if (!sectionData(file, sectionHeader(table.substr(namesIndex * entrySize)), names)) return false;
  for (uint64_t i = 0; i < count; ++i) {
    SectionHeader header = sectionHeader(table.substr(i * entrySize));
    std::string_view sectionName;
    if (nameAt(names, header.name, sectionName) && sectionName == name) {
      return sectionData(file, header, section);
    }
  }
  return false;
}

ElfReadStatus readElfSection(const std::string& path, std::string_view name, size_t maximumSize,
                             std::string& contents) {
  // Non-blocking so that opening a pipe planted at the path cannot hang the caller.
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return ElfReadStatus::kOpenFailed;
  struct stat info;
  if (fstat(fd.get(), &info) != 0) return ElfReadStatus::kStatFailed;
  if (!S_ISREG(info.st_mode)) return ElfReadStatus::kNotFound;
  Mapping mapping(fd.get(), static_cast<size_t>(info.st_size));
  if (mapping.failed()) return ElfReadStatus::kMapFailed;
  std::string_view section;
  if (!findElfSection(mapping.bytes(), name, section) || section.size() > maximumSize) {
    return ElfReadStatus::kNotFound;
  }
  contents.assign(section.data(), section.size());
  return ElfReadStatus::kFound;
}

}  // namespace platform
