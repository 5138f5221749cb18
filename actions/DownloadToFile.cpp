#include "actions/DownloadToFile.h"

#include <memory>

#include "http/HttpClient.h"
#include "platform/Sha256.h"
#include "platform/Streams.h"

namespace varnel {

void DownloadToFile(const std::string& url, const std::string& filePath, TSha256* digest) {
  auto client = std::make_unique<THttpClient>();
  auto stream = std::make_unique<TFileStream>(filePath, fmCreate);
  try {
    if (digest != nullptr) {
      TDigestStream digested(*stream, *digest);
      client->Get(url, digested);
    } else {
      client->Get(url, *stream);
    }
  } catch (...) {
    client.reset();  // the connection closes before the file does
    throw;
  }
  client.reset();
}

}  // namespace varnel
