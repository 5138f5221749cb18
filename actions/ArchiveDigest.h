// The check of a downloaded program archive against the SHA-256 its catalogue record names.
// Plain functions; the caller owns the archive file.
#pragma once

#include <optional>
#include <string>

#include <string_view>
#include "platform/FileSystem.h"

#include "platform/Exception.h"

namespace varnel {

// A downloaded archive that is not the one the catalogue describes.
VARNEL_EXCEPTION(EArchiveDigestError, Exception);

// What the catalogue expects of one archive: nothing for the catalogue archive itself and for
// records without an integrity line.
struct TArchiveExpectation {
  std::string ProgramName;
  std::optional<std::string> Sha256;  // 64 lower-case hexadecimal digits
};

// Does nothing when nothing is expected or receivedSha256 matches. Otherwise deletes the
// archive and raises EArchiveDigestError naming the program, both digests, the archive's size
// and its first bytes, so that an error page saved as the archive shows as what it is.
void CheckArchiveDigest(IFileSystem& fileSystem, const TArchiveExpectation& expected,
                        const std::string& archivePath, const std::string& receivedSha256);

// The first bytes as the message shows them: "\"<!DOCTYPE html>\"" when the bytes up to the
// first line break are printable ASCII, otherwise hexadecimal pairs ("50 4B 03 04").
std::string DescribeLeadingBytes(std::string_view bytes);

}  // namespace varnel
