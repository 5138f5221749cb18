#include "catalog/IconFile.h"

#include <cstdint>
#include <filesystem>

#include "catalog/RepositoryLines.h"
#include "platform/Streams.h"

namespace varnel {

std::string ReadIconFile(const std::string& path) {
  // The catalogue's icon line may name a pipe or a device, whose opening could wait for ever.
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    throw EInvalidGraphic("Icon image is not valid");
  }
  TFileStream file(path, fmOpenRead | fmShareDenyWrite);
  if (file.Size() > kMaxIconFileSize) throw EInvalidGraphic("Icon image is not valid");
  std::string bytes = ReadToEnd(file);
  CheckIconHeader(bytes);
  return bytes;
}

void CheckIconHeader(std::string_view bytes) {
  if (bytes.size() < kIconHeaderSize || static_cast<int64_t>(bytes.size()) > kMaxIconFileSize) {
    throw EInvalidGraphic("Icon image is not valid");
  }
  unsigned type = static_cast<uint8_t>(bytes[2]) | static_cast<uint8_t>(bytes[3]) << 8;
  if (type > 1) throw EInvalidGraphic("Icon image is not valid");
}

}  // namespace varnel
