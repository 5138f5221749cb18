#include "platform/Ed25519.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <new>

#include "platform/Exception.h"

namespace varnel {

namespace {

struct TFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(BIO* bio) const { BIO_free(bio); }
};
template <typename T>
using TOwned = std::unique_ptr<T, TFree>;

// A failed call leaves its reasons in the thread's error queue, where the TLS code of the
// same thread would later take them for its own.
[[noreturn]] void Fail(const char* what) {
  ERR_clear_error();
  throw Exception(std::string("The Ed25519 key could not ") + what);
}

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

TOwned<EVP_MD_CTX> NewContext() {
  TOwned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  if (!context) throw std::bad_alloc();
  return context;
}

}  // namespace

bool VerifyEd25519(std::string_view publicKey, std::string_view message,
                   std::string_view signature) {
  if (publicKey.size() != kEd25519PublicKeySize || signature.size() != kEd25519SignatureSize) {
    return false;
  }
  TOwned<EVP_PKEY> key(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, Bytes(publicKey), publicKey.size()));
  TOwned<EVP_MD_CTX> context = NewContext();
  const bool valid =
      key && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
      EVP_DigestVerify(context.get(), Bytes(signature), signature.size(), Bytes(message),
                       message.size()) == 1;
  ERR_clear_error();
  return valid;
}

TEd25519PrivateKey::TEd25519PrivateKey(evp_pkey_st* key) : key_(key, TFree()) {}

TEd25519PrivateKey TEd25519PrivateKey::Generate() {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
  if (key == nullptr) Fail("be made");
  return TEd25519PrivateKey(key);
}

std::optional<TEd25519PrivateKey> TEd25519PrivateKey::FromPem(std::string_view pem) {
  TOwned<BIO> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  // Without a callback, libcrypto would ask for the passphrase of an encrypted key on the
  // terminal.
  auto noPassphrase = [](char*, int, int, void*) { return 0; };
  EVP_PKEY* key =
      bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr) : nullptr;
  ERR_clear_error();
  if (key == nullptr) return std::nullopt;
  TEd25519PrivateKey result(key);
  if (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) return std::nullopt;
  return result;
}

std::string TEd25519PrivateKey::Pem() const {
  TOwned<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PKCS8PrivateKey(bio.get(), key_.get(), nullptr, nullptr, 0, nullptr,
                                            nullptr) != 1) {
    Fail("be written");
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

std::string TEd25519PrivateKey::PublicKey() const {
  std::string key(kEd25519PublicKeySize, '\0');
  size_t size = key.size();
  if (EVP_PKEY_get_raw_public_key(key_.get(), reinterpret_cast<unsigned char*>(key.data()),
                                  &size) != 1 ||
      size != key.size()) {
    Fail("give its public key");
  }
  return key;
}

std::string TEd25519PrivateKey::Sign(std::string_view message) const {
  TOwned<EVP_MD_CTX> context = NewContext();
  std::string signature(kEd25519SignatureSize, '\0');
  size_t size = signature.size();
  if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get()) != 1 ||
      EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                     Bytes(message), message.size()) != 1 ||
      size != signature.size()) {
    Fail("sign");
  }
  return signature;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string text((bytes.size() + 2) / 3 * 4 + 1, '\0');
  const int size = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), Bytes(bytes),
                                   static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(size));
  return text;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return std::nullopt;
  std::string_view digits = text;
  while (digits.ends_with('=') && text.size() - digits.size() < 2) digits.remove_suffix(1);
  // EVP_DecodeBlock would skip blanks and read "=" anywhere; this form has neither.
  if (digits.find_first_not_of(kAlphabet) != std::string_view::npos) return std::nullopt;
  std::string bytes(text.size() / 4 * 3, '\0');
  if (EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()), Bytes(text),
                      static_cast<int>(text.size())) < 0) {
    return std::nullopt;
  }
  bytes.resize(bytes.size() - (text.size() - digits.size()));
  // Stray bits in the last character would give a second text for the same bytes.
  if (EncodeBase64(bytes) != text) return std::nullopt;
  return bytes;
}

}  // namespace varnel
