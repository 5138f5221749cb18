// One HTTP GET into a local file, as the program downloads: redirects are followed, and a
// transfer broken off by the network is taken up again (the rest asked for when the server
// allows it, otherwise from the start), so the file ends up holding exactly one whole response
// body or the download fails. The caller owns the file or stream; one thread per call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "http/NetExceptions.h"
#include "platform/Streams.h"

namespace varnel {

class TCancelSignal;
class TSha256;

// A server whose answer to a request for the rest of a file would not continue that file.
VARNEL_EXCEPTION(EResumeError, ENetException);

// Retries of one download after a broken transfer; the pauses before them double from
// TDownloadHooks::retryPauseMs.
constexpr int kDownloadRetries = 3;

struct TDownloadHooks {
  // Stops the connect, every wait on the connection and a pause between attempts with
  // EOperationCancelled.
  const TCancelSignal* cancel = nullptr;
  // After each piece of the body written: bytes in the file so far, and the whole length
  // (below 0 when the response announces none).
  std::function<void(int64_t received, int64_t total)> onProgress;
  // Every byte of the body goes into it, so the file needs no second reading. When a download
  // starts again from zero, the digest does too: it always describes the file.
  TSha256* digest = nullptr;
  // Before the pause that precedes retry attempt (1..kDownloadRetries).
  std::function<void(int attempt, int maximum)> onReconnect;
  // The pause before the first retry; each further one doubles it (1, 2 and 4 s). Only tests
  // have a reason to shorten it.
  int retryPauseMs = 1000;
};

// Writes the body into target from its start and cuts target to the body's length. Raises what
// the stream or the HTTP client raised last, unchanged, once a failure can't be retried or the
// retries are used up; a refused connection or an unknown host fails at once.
void DownloadToFile(const std::string& url, TStream& target, const TDownloadHooks& hooks = {});
// The same into filePath, which is created (or truncated) before any network activity and keeps
// whatever body bytes arrived when the download fails.
void DownloadToFile(const std::string& url, const std::string& filePath,
                    const TDownloadHooks& hooks = {});

}  // namespace varnel
