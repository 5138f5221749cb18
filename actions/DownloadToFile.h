// One HTTP GET into a local file. The file is created (or truncated) before any network
// activity and keeps whatever body bytes arrived when the download fails.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace varnel {

class TCancelSignal;
class TSha256;
class TStream;

struct TDownloadHooks {
  // Stops the connect and every wait on the connection with EOperationCancelled.
  const TCancelSignal* cancel = nullptr;
  // After each piece of the body written: bytes in the file so far, and the announced length
  // (below 0 when the response announces none).
  std::function<void(int64_t received, int64_t total)> onProgress;
  // Every byte written to the file also goes into it, so the file needs no second reading.
  TSha256* digest = nullptr;
};

// Raises what the file stream or the HTTP client raised, unchanged.
void DownloadToFile(const std::string& url, const std::string& filePath,
                    const TDownloadHooks& hooks = {});
// The same into a stream the caller opened and keeps: the body is written from its start.
void DownloadToFile(const std::string& url, TStream& target, const TDownloadHooks& hooks = {});

}  // namespace varnel
