#include "catalog/IconFile.h"

#include <cstdint>
#include <memory>

#include "catalog/RepositoryLines.h"
#include "platform/Streams.h"

namespace varnel {

std::string ReadIconFile(IFileSystem& fileSystem, const std::string& path) {
  // The catalogue's icon line may name a pipe or a device, whose opening could wait for ever.
  const TFileStatus status = fileSystem.Status(path, true);
  if (status.Exists() && status.Kind != TFileKind::File) {
    throw EInvalidGraphic("Icon image is not valid");
  }
  std::unique_ptr<TStream> file = fileSystem.OpenFile(path, fmOpenRead | fmShareDenyWrite);
  if (file->Size() > kMaxIconFileSize) throw EInvalidGraphic("Icon image is not valid");
  std::string bytes = ReadToEnd(*file);
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
