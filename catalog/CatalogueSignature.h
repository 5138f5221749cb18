// The signature file of the catalogue archive, "software.zip.sig": written by the repository
// tool, read and checked by it and by a program built with a repository key, so that both
// apply the same rules and give the same messages. Plain functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Ed25519.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace varnel {

// A catalogue refused by its signature, or a signature file that can't be read.
VARNEL_EXCEPTION(ECatalogueSignatureError, Exception);

// The longest signature file; a reader stops after one byte more and hands that on, so that
// the parser refuses it without anything past the limit being read.
inline constexpr size_t kMaxCatalogueSignatureSize = 4096;

// The file is four lines, each ending in LF:
//   serial: 1765432100
//   expires: 2027-01-08T10:00:00Z
//   sha256: <64 lower-case hexadecimal digits of the catalogue archive>
//   signature: <base64 of the Ed25519 signature of the three lines above, LFs included>
struct TCatalogueSignature {
  int64_t Serial = 0;      // never lower for a later catalogue of the same repository
  int64_t Expires = 0;     // seconds since 1970 UTC; the catalogue is refused from then on
  std::string Sha256;      // of the catalogue archive
  std::string SignedText;  // the first three lines, exactly as they are in the file
  std::string Signature;   // 64 raw bytes
};

// The time the checks compare the expiry with: seconds since 1970 UTC, now.
int64_t UnixTimeNow();

// The first kMaxCatalogueSignatureSize + 1 bytes of a signature file, for the parser.
std::string ReadCatalogueSignatureFile(IFileSystem& fileSystem, const std::string& path);

// REQUIRES: serial >= 0, expires within the years 1970 to 9999, sha256 as in the file.
std::string WriteCatalogueSignature(const TEd25519PrivateKey& key, int64_t serial, int64_t expires,
                                    std::string_view sha256);

// sigText is the signature file, or nothing when the repository offers none. Raises
// ECatalogueSignatureError "The repository's catalogue is not signed" for nothing, and
// "The repository's catalogue signature is malformed: ..." for text longer than
// kMaxCatalogueSignatureSize or not in the form above.
TCatalogueSignature ParseCatalogueSignature(std::optional<std::string_view> sigText);

// A serial as the file holds it, and as a program keeps the one in use: decimal digits, at
// most the largest int64_t. Nothing for any other text.
std::optional<int64_t> ParseCatalogueSerial(std::string_view text);

// The 32 bytes of a repository key given as base64 (as varnel-repo keygen prints it); raises
// ECatalogueSignatureError for any other text.
std::string DecodeRepositoryKey(std::string_view base64);

// Why a program with repositoryKey refuses a catalogue archive whose SHA-256 is archiveSha256
// at the time now (seconds since 1970 UTC) after using the catalogue of serialInUse (none:
// no catalogue checked yet): a signature not made with the key, another digest, the expiry
// reached, a lower serial. One message per reason in that order; empty when it is accepted.
std::vector<std::string> CatalogueSignatureRefusals(const TCatalogueSignature& signature,
                                                    std::string_view archiveSha256,
                                                    std::string_view repositoryKey, int64_t now,
                                                    std::optional<int64_t> serialInUse);

// The program's check of a fetched catalogue archive: raises ECatalogueSignatureError with the
// first reason to refuse it, from ParseCatalogueSignature or CatalogueSignatureRefusals;
// returns the signature, whose serial is then the one in use.
TCatalogueSignature VerifyCatalogueSignature(std::optional<std::string_view> sigText,
                                             std::string_view archiveSha256,
                                             std::string_view repositoryKey, int64_t now,
                                             std::optional<int64_t> serialInUse);

}  // namespace varnel
