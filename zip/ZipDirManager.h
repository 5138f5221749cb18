// The directory of one open archive: copies of the end records, the item list and its
// lower-case name index. Owned by the component, created anew by every open.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "zip/ZipArchiver.h"

namespace varnel {

class TZipDirManager {
 public:
  uint8_t EndRecord[22] = {};
  uint8_t Zip64Locator[20] = {};
  uint8_t Zip64EndRecord[56] = {};
  bool Zip64 = false;
  std::string Comment;
  int64_t EndRecordPosition = -1;  // where the accepted end record starts, before ZIP64
  int64_t CentralDirStart = 0;
  int64_t StubSize = 0;
  std::vector<TZipDirItem> Items;
  // Lower-case name -> the first item position holding it.
  std::unordered_map<std::string, size_t> NameIndex;

  void Clear() {
    Items.clear();
    NameIndex.clear();
  }
};

// From this version needed to extract on, an entry uses strong encryption: no AES field is
// read and no CRC-32 is checked.
constexpr uint16_t kStrongEncryptionVersion = 16660;

// Little-endian fields of the records.
inline uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) {
  return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// Lower-cases ASCII and Latin-1 letters of UTF-8 text, as the name index compares names.
std::string LowerName(const std::string& name);

}  // namespace varnel
