// Ed25519 signatures by OpenSSL's libcrypto, and the base64 text that carries keys and
// signatures: the check the program makes of its catalogue, and the private key the repository
// tool signs with. Plain functions and one key type that owns its libcrypto key; any thread.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct evp_pkey_st;

namespace varnel {

inline constexpr size_t kEd25519PublicKeySize = 32;
inline constexpr size_t kEd25519SignatureSize = 64;

// Whether signature is the Ed25519 signature of message by publicKey (raw bytes). False also
// for a key or a signature of the wrong size.
bool VerifyEd25519(std::string_view publicKey, std::string_view message,
                   std::string_view signature);

class TEd25519PrivateKey {
 public:
  static TEd25519PrivateKey Generate();
  // The key of an unencrypted PKCS#8 PEM block, as `openssl genpkey -algorithm ed25519`
  // writes it (text before the block is skipped); nothing when pem holds no such key.
  static std::optional<TEd25519PrivateKey> FromPem(std::string_view pem);

  std::string Pem() const;        // PKCS#8, as FromPem reads it
  std::string PublicKey() const;  // the 32 raw bytes
  std::string Sign(std::string_view message) const;

 private:
  explicit TEd25519PrivateKey(evp_pkey_st* key);

  std::shared_ptr<evp_pkey_st> key_;  // never changed once made, so copies may share it
};

// Padded base64 without line breaks.
std::string EncodeBase64(std::string_view bytes);
// The bytes of text in the form EncodeBase64 writes; nothing for any other text (blanks,
// line breaks, missing padding, stray bits in the last character).
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace varnel
