// The catalogue's signature file, fetched as a program with a repository key checks it: no
// more of it is read than a signature file may hold and one byte, so a server can't make the
// program read on. Plain function; any thread.
#pragma once

#include <optional>
#include <string>

#include "actions/DownloadToFile.h"

namespace varnel {

// The text of the file at url, cut after kMaxCatalogueSignatureSize + 1 bytes; nothing when
// the server has none (404 or 410). Other failures raise as DownloadToFile raises them.
std::optional<std::string> DownloadCatalogueSignature(const std::string& url,
                                                      const TDownloadHooks& hooks = {});

}  // namespace varnel
