#include "actions/DownloadToFile.h"

#include <chrono>
#include <memory>
#include <thread>

#include "http/HttpClient.h"
#include "http/TlsIOHandler.h"
#include "platform/CancelSignal.h"
#include "platform/Sha256.h"
#include "platform/Text.h"

namespace varnel {

namespace {

// A connect that takes longer has met a host that doesn't answer; a transfer that receives
// nothing for longer has stalled.
constexpr int kConnectTimeoutMs = 30 * 1000;
constexpr int kReadTimeoutMs = 60 * 1000;

// Where every body byte goes on its way to the target: into the digest, and counted for the
// progress report. A download that starts again from zero empties the target and the digest.
class TDownloadSink : public TForwardingStream {
 public:
  TDownloadSink(TStream& target, const TDownloadHooks& hooks)
      : TForwardingStream(target), hooks_(hooks) {}

  // The digest could no longer describe the file if a byte went anywhere but after the last.
  int64_t Write(const void* buffer, int64_t count) override {
    if (target_.Position() != received_) {
      throw EStreamError("A download must be written in order");
    }
    const int64_t written = target_.Write(buffer, count);
    if (written > 0) {
      if (hooks_.digest) hooks_.digest->Update(buffer, static_cast<size_t>(written));
      received_ += written;
    }
    if (hooks_.onProgress) hooks_.onProgress(received_, total_);
    return written;
  }

  void Restart() {
    target_.SetPosition(0);
    // A file emptied by a truncation is written back at its close on some file systems (ext4
    // takes it for a file being replaced), which a fresh file must not pay for.
    if (target_.Size() > 0) target_.SetSize(0);
    if (hooks_.digest && received_ > 0) hooks_.digest->HexDigest();  // starts it afresh
    received_ = 0;
  }
  // REQUIRES: the target holds exactly the bytes received, as the client leaves it.
  void Continue() { target_.SetPosition(received_); }
  int64_t Received() const { return received_; }
  void SetTotal(int64_t total) { total_ = total; }

 private:
  const TDownloadHooks& hooks_;
  int64_t received_ = 0;
  int64_t total_ = -1;
};

// What a whole response allows a download cut short to ask for: the rest of the same file,
// named by a strong validator (a weak ETag may not be used for a range), with its length.
struct TResumePoint {
  std::string validator;
  int64_t length = -1;

  bool Possible() const { return !validator.empty() && length > 0; }

  static TResumePoint Of(const THttpResponse& response) {
    TResumePoint point;
    if (AsciiLower(response.AcceptRanges).find("bytes") == std::string::npos ||
        !response.HasContentLength) {
      return point;
    }
    point.validator = !response.ETag.empty() && !response.ETag.starts_with("W/")
                          ? response.ETag
                          : response.LastModified;
    point.length = response.ContentLength;
    return point;
  }
};

// Failures of the network in the middle of a transfer, which a new attempt may get past. A
// refused connection or an unknown host means the server is down or misnamed, so asking again
// only keeps the user waiting; error statuses and the file's own failures don't go away either.
bool Retryable(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EConnClosedGracefully&) {
    return true;
  } catch (const EReadTimeout&) {
    return true;
  } catch (const EConnectTimeout&) {
    return true;
  } catch (const ESocketError& e) {
    switch (e.LastError()) {
      case 10050:  // network down
      case 10051:  // network unreachable
      case 10052:  // dropped on reset
      case 10053:  // aborted
      case 10054:  // reset by peer
      case 10060:  // timed out
      case 10064:  // host down
      case 10065:  // no route to host
      case 11002:  // name server not answering for now
        return true;
      default:
        return false;
    }
  } catch (...) {
    return false;
  }
}

void Pause(const TDownloadHooks& hooks, int milliseconds) {
  if (!hooks.cancel) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  } else if (hooks.cancel->Wait(milliseconds)) {
    hooks.cancel->ThrowIfCancelled();
  }
}

std::string Describe(const TContentRange& range) {
  if (range.Start < 0) return "no usable range";
  return "bytes " + std::to_string(range.Start) + "-" + std::to_string(range.End) + " of " +
         (range.InstanceLength < 0 ? std::string("an unknown length")
                                   : std::to_string(range.InstanceLength));
}

// Decides, once the final response of an attempt has its head, what its body does to the
// file: a 206 continues it only where it was cut and only for the file first sent, a 200 starts
// it again. Anything else would splice two versions, so it is refused.
void TakeHead(const THttpResponse& response, bool resuming, TResumePoint& resume,
              TDownloadSink& sink) {
  const int code = response.StatusCode;
  if (code / 100 != 2) return;  // the client raises for it
  if (code == 206) {
    const TContentRange& range = response.ContentRange;
    if (!resuming) {
      throw EResumeError("The server sent only part of the file (" + Describe(range) +
                         ") where the whole file was asked for");
    }
    if (range.Start != sink.Received() || range.InstanceLength != resume.length) {
      throw EResumeError("The download could not be resumed: the server sent " + Describe(range) +
                         " where the rest from byte " + std::to_string(sink.Received()) + " of " +
                         std::to_string(resume.length) + " was asked for");
    }
    sink.SetTotal(resume.length);
    return;
  }
  if (resuming) sink.Restart();
  resume = TResumePoint::Of(response);
  sink.SetTotal(response.HasContentLength ? response.ContentLength : -1);
}

}  // namespace

void DownloadToFile(const std::string& url, TStream& target, const TDownloadHooks& hooks) {
  std::unique_ptr<ISocketStack> cancellable;
  if (hooks.cancel) cancellable = CancellableSocketStack(*hooks.cancel);
  ISocketStack& stack = cancellable ? *cancellable : SystemSocketStack();
  TDownloadSink sink(target, hooks);
  TResumePoint resume;
  for (int attempt = 0;; ++attempt) {
    const bool resuming = resume.Possible() && sink.Received() > 0;
    if (resuming) {
      sink.Continue();
    } else {
      sink.Restart();
    }
    auto client = std::make_unique<THttpClient>(stack);
    // Real servers: https, redirects, time limits for the connect and for a stalled transfer,
    // and the proxies the environment names.
    client->IOHandler = std::make_unique<TTlsIOHandler>();
    client->HandleRedirects = true;
    client->ConnectTimeout = kConnectTimeoutMs;
    client->ReadTimeout = kReadTimeoutMs;
    client->ProxyParams = ProxyParamsFromEnvironment();
    if (resuming) {
      client->Request.Range = std::to_string(sink.Received()) + "-";
      client->Request.IfRange = resume.validator;
    }
    client->OnHeadersAvailable = [&](THttpClient& sender, const THeaderList&, bool&) {
      TakeHead(sender.Response(), resuming, resume, sink);
    };
    try {
      client->Get(url, sink);
      return;
    } catch (...) {
      client.reset();  // the connection closes before anything else happens
      if (attempt == kDownloadRetries || !Retryable(std::current_exception())) throw;
    }
    if (hooks.onReconnect) hooks.onReconnect(attempt + 1, kDownloadRetries);
    Pause(hooks, hooks.retryPauseMs << attempt);
  }
}

void DownloadToFile(const std::string& url, const std::string& filePath,
                    const TDownloadHooks& hooks) {
  TFileStream file(filePath, fmCreate);
  DownloadToFile(url, file, hooks);
}

}  // namespace varnel
