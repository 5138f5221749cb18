#include "repository/CheckedRepository.h"

#include <algorithm>

#include "platform/Streams.h"

namespace varnel {

std::string WithSlashes(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

TOpenedArchive::TOpenedArchive(const std::string& path) {
  zip->FileName = path;
  zip->OpenArchive(0);
}

std::optional<int> TOpenedArchive::Find(const std::string& name) const {
  for (int i = 0; i < zip->ItemCount(); ++i) {
    if (WithSlashes(zip->Item(i).Name) == name) return i;
  }
  return std::nullopt;
}

std::string TOpenedArchive::Bytes(int index) const {
  TMemoryStream bytes;
  zip->ExtractItemToStream(index, bytes);
  return bytes.Text();
}

}  // namespace varnel
