// One HTTP GET into a local file. The file is created (or truncated) before any network
// activity and keeps whatever body bytes arrived when the download fails.
#pragma once

#include <string>

namespace varnel {

class TSha256;

// Raises what the file stream or the HTTP client raised, unchanged. With a digest, every
// byte written to the file also goes into it, so the file needs no second reading.
void DownloadToFile(const std::string& url, const std::string& filePath, TSha256* digest = nullptr);

}  // namespace varnel
