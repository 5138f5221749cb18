// One HTTP GET into a local file. The file is created (or truncated) before any network
// activity and keeps whatever body bytes arrived when the download fails.
#pragma once

#include <string>

namespace varnel {

// Raises what the file stream or the HTTP client raised, unchanged.
void DownloadToFile(const std::string& url, const std::string& filePath);

}  // namespace varnel
