#include "actions/SignatureDownload.h"

#include <algorithm>

#include "catalog/CatalogueSignature.h"
#include "http/NetExceptions.h"

namespace varnel {

namespace {

// Raised once a body would grow past what TBoundedText keeps.
VARNEL_EXCEPTION(ETextTooLong, Exception);

// A stream that keeps the first bytes written to it, up to a limit, and stops the transfer
// with ETextTooLong at the first write past it. Growing it by SetSize holds no memory.
class TBoundedText : public TStream {
 public:
  explicit TBoundedText(size_t limit) : limit_(limit) {}

  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    const auto position = static_cast<size_t>(position_);
    const size_t kept =
        position < limit_ ? std::min(static_cast<size_t>(count), limit_ - position) : 0;
    if (text_.size() < position + kept) text_.resize(position + kept);
    std::copy_n(static_cast<const char*>(buffer), kept, text_.begin() + position_);
    position_ += static_cast<int64_t>(kept);
    size_ = std::max(size_, position_);
    if (kept < static_cast<size_t>(count)) throw ETextTooLong("too long");
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }
  int64_t Size() override { return size_; }
  void SetSize(int64_t newSize) override {
    size_ = std::max<int64_t>(0, newSize);
    if (static_cast<int64_t>(text_.size()) > size_) text_.resize(static_cast<size_t>(size_));
    position_ = std::min(position_, size_);
  }
  const std::string& Text() const { return text_; }

 private:
  size_t limit_;
  std::string text_;
  int64_t position_ = 0;
  int64_t size_ = 0;
};

}  // namespace

std::optional<std::string> DownloadCatalogueSignature(const std::string& url,
                                                      const TDownloadHooks& hooks) {
  TBoundedText text(kMaxCatalogueSignatureSize + 1);
  try {
    DownloadToFile(url, text, hooks);
  } catch (const ETextTooLong&) {
    // What was kept is one byte too long, which the parser refuses.
  } catch (const EHttpProtocolException& e) {
    if (e.StatusCode() == 404 || e.StatusCode() == 410) return std::nullopt;
    throw;
  }
  return text.Text();
}

}  // namespace varnel
