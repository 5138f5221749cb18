#include "actions/ExtractionFileSystem.h"

#include "platform/Exception.h"
#include "platform/SysErrors.h"

namespace varnel {

namespace {

// Reads the archive it doesn't own; writes and resizing are refused.
class TArchiveView : public TForwardingStream {
 public:
  explicit TArchiveView(TStream& archive) : TForwardingStream(archive) { archive.SetPosition(0); }
  int64_t Write(const void*, int64_t) override { return 0; }
  void SetSize(int64_t) override { throw EStreamError("Stream size error"); }
};

}  // namespace

TExtractionFileSystem::TExtractionFileSystem(IFileSystem& inner, std::string archivePath,
                                             TStream& archive)
    : TForwardingFileSystem(inner), archivePath_(std::move(archivePath)), archive_(archive) {}

std::unique_ptr<TStream> TExtractionFileSystem::OpenFile(const std::string& path, unsigned mode) {
  if (path == archivePath_) return std::make_unique<TArchiveView>(archive_);
  return inner_.OpenFile(path, mode);
}

void TExtractionFileSystem::SetMode(const std::string& path, uint32_t mode) {
  try {
    inner_.SetMode(path, mode);
  } catch (const EInOutError& e) {
    if (modeError_ == 0) modeError_ = e.ErrorCode();
    throw;
  }
}

std::string TExtractionFileSystem::ModeRefusal() const {
  return modeError_ == 0 ? std::string() : SystemErrorMessage(modeError_);
}

}  // namespace varnel
