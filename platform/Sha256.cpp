#include "platform/Sha256.h"

#include <openssl/evp.h>

#include <new>
#include <vector>

#include "platform/Exception.h"

namespace varnel {

namespace {

void Require(int result) {
  if (result != 1) throw Exception("The SHA-256 digest could not be computed");
}

}  // namespace

TSha256::TSha256() : context_(EVP_MD_CTX_new()) {
  if (context_ == nullptr) throw std::bad_alloc();
  Require(EVP_DigestInit_ex(context_, EVP_sha256(), nullptr));
}

TSha256::~TSha256() {
  EVP_MD_CTX_free(context_);
}

void TSha256::Update(const void* data, size_t size) {
  if (size > 0) Require(EVP_DigestUpdate(context_, data, size));
}

std::string TSha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  Require(EVP_DigestFinal_ex(context_, digest, &size));
  Require(EVP_DigestInit_ex(context_, EVP_sha256(), nullptr));
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string FileSha256(const std::string& path) {
  TFileStream file(path, fmOpenRead | fmShareDenyWrite);
  TSha256 digest;
  std::vector<char> buffer(1 << 16);
  for (int64_t n; (n = file.Read(buffer.data(), static_cast<int64_t>(buffer.size()))) > 0;) {
    digest.Update(buffer.data(), static_cast<size_t>(n));
  }
  return digest.HexDigest();
}

}  // namespace varnel
