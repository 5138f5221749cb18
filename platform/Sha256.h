// SHA-256 digests, computed by OpenSSL's libcrypto: TSha256 takes the bytes in pieces. Each
// object belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Streams.h"

struct evp_md_ctx_st;

namespace varnel {

class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  void Update(const void* data, size_t size);
  // The digest of everything given so far, as 64 lower-case hexadecimal digits; the object
  // then starts again from nothing.
  std::string HexDigest();

 private:
  evp_md_ctx_st* context_;
};

// The SHA-256 of a whole file, read in pieces; raises EFOpenError or a read error.
std::string FileSha256(const std::string& path);

}  // namespace varnel
