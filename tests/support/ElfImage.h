#pragma once

#include <cstdint>
#include <string>

// A minimal ELF64 little-endian shared object with one data section and the section-name table,
// written byte by byte so that tests can damage any field. Layout: header, then (section table
// first or last) the data, the names and the three section headers (null, data, names).
class ElfImage {
 public:
  static constexpr size_t kHeaderSize = 64;
  static constexpr size_t kEntrySize = 64;

  ElfImage(const std::string& sectionName, const std::string& data, bool tableFirst = false) {
    std::string names = std::string(1, '\0') + sectionName + '\0' + ".shstrtab" + '\0';
    bytes.assign(kHeaderSize, '\0');
    bytes.replace(0, 4,
                  "\x7F"
                  "ELF");
    bytes[4] = 2;     // 64-bit
    bytes[5] = 1;     // little-endian
    bytes[6] = 1;     // version
    put(0x10, 3, 2);  // shared object
    put(0x12, 0x3E, 2);
    put(0x14, 1, 4);
    put(0x34, kHeaderSize, 2);
    put(0x3A, kEntrySize, 2);
    put(0x3C, 3, 2);  // sections
    put(0x3E, 2, 2);  // names table index

    size_t table = tableFirst ? kHeaderSize : kHeaderSize + data.size() + names.size();
    size_t dataAt = tableFirst ? kHeaderSize + 3 * kEntrySize : kHeaderSize;
    size_t namesAt = dataAt + data.size();
    bytes.resize(kHeaderSize + 3 * kEntrySize + data.size() + names.size(), '\0');
    bytes.replace(dataAt, data.size(), data);
    bytes.replace(namesAt, names.size(), names);
    put(0x28, table, 8);
    sectionTable = table;
    section(1, 1, 1, dataAt, data.size());                         // PROGBITS
    section(2, 2 + sectionName.size(), 3, namesAt, names.size());  // STRTAB
  }

  // Little-endian field of `width` bytes at `at`.
  void put(size_t at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  }
  // Offset of field `field` in section header `index`.
  size_t sectionField(size_t index, size_t field) const {
    return sectionTable + index * kEntrySize + field;
  }

  static constexpr size_t kName = 0x00, kType = 0x04, kOffset = 0x18, kSize = 0x20;

  std::string bytes;
  size_t sectionTable = 0;

 private:
  void section(size_t index, uint64_t name, uint64_t type, uint64_t offset, uint64_t size) {
    put(sectionField(index, kName), name, 4);
    put(sectionField(index, kType), type, 4);
    put(sectionField(index, kOffset), offset, 8);
    put(sectionField(index, kSize), size, 8);
  }
};
