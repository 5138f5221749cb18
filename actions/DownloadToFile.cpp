#include "actions/DownloadToFile.h"

#include <memory>

#include "http/HttpClient.h"
#include "http/TlsIOHandler.h"
#include "platform/CancelSignal.h"
#include "platform/Sha256.h"
#include "platform/Streams.h"

namespace varnel {

namespace {

// Passes everything on to the file and reports how far the body has come.
class TReportingStream : public TForwardingStream {
 public:
  TReportingStream(TStream& target, const TDownloadHooks& hooks, const int64_t& total)
      : TForwardingStream(target), hooks_(hooks), total_(total) {}

  int64_t Write(const void* buffer, int64_t count) override {
    int64_t written = target_.Write(buffer, count);
    received_ += written;
    hooks_.onProgress(received_, total_);
    return written;
  }

 private:
  const TDownloadHooks& hooks_;
  const int64_t& total_;
  int64_t received_ = 0;
};

}  // namespace

void DownloadToFile(const std::string& url, const std::string& filePath,
                    const TDownloadHooks& hooks) {
  std::unique_ptr<ISocketStack> cancellable;
  if (hooks.cancel) cancellable = CancellableSocketStack(*hooks.cancel);
  auto client = std::make_unique<THttpClient>(cancellable ? *cancellable : SystemSocketStack());
  // Real servers: https, time limits for the connect and for a stalled transfer, and the
  // proxies the environment names.
  client->IOHandler = std::make_unique<TTlsIOHandler>();
  client->ConnectTimeout = 30 * 1000;
  client->ReadTimeout = 60 * 1000;
  client->ProxyParams = ProxyParamsFromEnvironment();
  auto stream = std::make_unique<TFileStream>(filePath, fmCreate);
  // The body goes through the digest (when asked for) and the progress report to the file.
  TStream* target = stream.get();
  std::unique_ptr<TDigestStream> digested;
  if (hooks.digest) {
    digested = std::make_unique<TDigestStream>(*target, *hooks.digest);
    target = digested.get();
  }
  int64_t total = -1;
  std::unique_ptr<TReportingStream> reporting;
  if (hooks.onProgress) {
    reporting = std::make_unique<TReportingStream>(*target, hooks, total);
    target = reporting.get();
    client->OnWorkBegin = [&total](THttpClient& sender, TWorkMode mode, int64_t) {
      if (mode == wmRead && sender.Response().HasContentLength) {
        total = sender.Response().ContentLength;
      }
    };
  }
  try {
    client->Get(url, *target);
  } catch (...) {
    client.reset();  // the connection closes before the file does
    throw;
  }
  client.reset();
}

}  // namespace varnel
