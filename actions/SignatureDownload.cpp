#include "actions/SignatureDownload.h"

#include "catalog/CatalogueSignature.h"
#include "http/NetExceptions.h"

namespace varnel {

namespace {

// Raised once a body would grow past what TBoundedText keeps.
VARNEL_EXCEPTION(ETextTooLong, Exception);

// The first bytes of a body, up to a limit; the first write past it stops the transfer.
class TBoundedText : public THeadStream {
 public:
  using THeadStream::THeadStream;
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t written = THeadStream::Write(buffer, count);
    if (Overflowed()) throw ETextTooLong("too long");
    return written;
  }
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
  return text.Head();
}

}  // namespace varnel
