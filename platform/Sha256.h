// SHA-256 digests, computed by OpenSSL's libcrypto: TSha256 takes the bytes in pieces, and
// TDigestStream hands everything written through it to a TSha256 on its way to the target.
// Each object belongs to one thread at a time; the target and the digest stay the caller's.
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

// Writes go to the target and into the digest. REQUIRES: the bytes are written in order, as
// a download writes them; a write anywhere but after the last byte written raises
// EStreamError, since the digest could no longer describe the target.
class TDigestStream : public TForwardingStream {
 public:
  TDigestStream(TStream& target, TSha256& digest);

  int64_t Write(const void* buffer, int64_t count) override;

 private:
  TSha256& digest_;
  int64_t digested_;  // the target's position after the last byte digested
};

}  // namespace varnel
