// The file system the extraction of a downloaded archive sees: the archive is the stream the
// command downloaded into and still holds open, whatever lies at its path by now, so what was
// checked is what is unpacked; and a refused change of mode (disks such as FAT keep none) is
// noted besides failing. The file system and the stream are the caller's and must outlive
// the wrapper. The command's worker thread; a view of the archive may read on the decode
// thread meanwhile.
#pragma once

#include <string>

#include "platform/ForwardingFileSystem.h"

namespace varnel {

class TExtractionFileSystem : public TForwardingFileSystem {
 public:
  TExtractionFileSystem(IFileSystem& inner, std::string archivePath, TStream& archive);

  // An open of archivePath reads the archive stream from its start, and nothing else.
  std::unique_ptr<TStream> OpenFile(const std::string& path, unsigned mode) override;
  void SetMode(const std::string& path, uint32_t mode) override;

  // The system's text for the first change of mode refused; "" when none was.
  std::string ModeRefusal() const;

 private:
  std::string archivePath_;
  TStream& archive_;
  int modeError_ = 0;
};

}  // namespace varnel
