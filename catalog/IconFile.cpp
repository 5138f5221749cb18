#include "catalog/IconFile.h"

#include <cstdint>

#include "catalog/RepositoryLines.h"
#include "platform/Streams.h"

namespace varnel {

std::string ReadIconFile(const std::string& path) {
  TFileStream file(path, fmOpenRead | fmShareDenyWrite);
  if (file.Size() > kMaxIconFileSize) throw EInvalidGraphic("Icon image is not valid");
  std::string bytes = ReadToEnd(file);
  if (bytes.size() < kIconHeaderSize) throw EInvalidGraphic("Icon image is not valid");
  unsigned type = static_cast<uint8_t>(bytes[2]) | static_cast<uint8_t>(bytes[3]) << 8;
  if (type > 1) throw EInvalidGraphic("Icon image is not valid");
  return bytes;
}

}  // namespace varnel
