// Building a repository from its source folder: the catalogue archive and one archive per
// program, written with libzip so that two builds of the same source are byte-identical, and
// the catalogue's signature file when it is signed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace varnel {

inline constexpr int64_t kMaxValidDays = 36500;

// How a build signs its catalogue.
struct TSigning {
  std::string SecretFile;         // the private key, as varnel-repo keygen writes it
  std::optional<int64_t> Serial;  // default: the build time in seconds since 1970
  int64_t ValidDays = 30;         // from the build time to the expiry; 1 to kMaxValidDays
};

// source holds a manifest NAME.toml per program (see Manifest.h) and, for a program that has
// an archive, a folder NAME with its files; NAME is made of letters, digits, ".", "_" and "-".
// Writes outDir/tools/software.zip (the catalogue "software.dat", UTF-8 with a byte-order
// mark, ten lines per record, and the icons it names) and outDir/tools/NAME.zip, whose URL
// baseUrl/tools/NAME.zip and SHA-256 go into the record. Entries are sorted, keep their Unix
// modes and take their times from the files; the catalogue takes the newest manifest's time.
// Only files inside source are read: an icon reached through ".." or a link, a manifest or a
// program folder that is a link, or a link inside a program folder is refused.
// With signing, also writes outDir/tools/software.zip.sig (see CatalogueSignature.h);
// without, removes one an earlier build left there.
// Everything is made in a folder beside outDir and checked as CheckRepository checks a
// folder (with the signing key's public key) before it is moved in, so a failed build leaves
// outDir as it was. Raises ERepositoryError naming the manifest for any defect, EInOutError
// or a stream error when files fail.
void BuildRepository(const std::string& source, const std::string& outDir,
                     const std::string& baseUrl, const std::optional<TSigning>& signing = {});

}  // namespace varnel
