#include "catalog/IconFile.h"

#include <cstdint>

#include "catalog/RepositoryLines.h"

namespace varnel {

std::string ReadIconFile(const std::string& path) {
  std::string bytes = ReadWholeFile(path);
  if (bytes.size() < kIconHeaderSize) throw EInvalidGraphic("Icon image is not valid");
  unsigned type = static_cast<uint8_t>(bytes[2]) | static_cast<uint8_t>(bytes[3]) << 8;
  if (type > 1) throw EInvalidGraphic("Icon image is not valid");
  return bytes;
}

}  // namespace varnel
