// The repository's private signing key in its file: made by varnel-repo keygen, read by
// varnel-repo build --sign. Plain functions; the caller owns the key file.
#pragma once

#include <string>

#include "platform/Ed25519.h"

namespace varnel {

// Writes a new key to secretFile as PKCS#8 PEM, readable by its owner only, and returns its
// public key as base64. Never replaces a file: raises EFCreateError when secretFile exists,
// and EInOutError or a stream error when writing fails (nothing is then left at secretFile).
std::string GenerateSigningKey(const std::string& secretFile);

// Raises ERepositoryError naming the file when it holds no unencrypted Ed25519 key in PKCS#8
// PEM (as keygen and `openssl genpkey -algorithm ed25519` write it), EFOpenError when it
// can't be read.
TEd25519PrivateKey ReadSigningKey(const std::string& secretFile);

}  // namespace varnel
