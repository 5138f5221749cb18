#include "actions/ArchiveDigest.h"

#include <algorithm>
#include <cstdio>

#include "platform/Files.h"
#include "platform/Streams.h"

namespace varnel {

namespace {

constexpr int64_t kLeadingBytes = 16;

// 1234567 -> "1,234,567".
std::string GroupedCount(int64_t count) {
  std::string digits = std::to_string(count);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<size_t>(at), ",");
  }
  return digits;
}

}  // namespace

std::string DescribeLeadingBytes(std::string_view bytes) {
  const std::string_view line = bytes.substr(0, bytes.find_first_of("\r\n"));
  bool printable = !line.empty();
  for (char c : line) printable = printable && c >= 0x20 && c < 0x7F;
  if (printable) return "\"" + std::string(line) + "\"";
  std::string hex;
  for (char c : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
    hex += (hex.empty() ? "" : " ") + std::string(pair);
  }
  return hex;
}

void CheckArchiveDigest(IFileSystem& fileSystem, const TArchiveExpectation& expected,
                        const std::string& archivePath, const std::string& receivedSha256) {
  if (!expected.Sha256 || *expected.Sha256 == receivedSha256) return;
  int64_t size = 0;
  std::string head;
  {
    std::unique_ptr<TStream> archive =
        fileSystem.OpenFile(archivePath, fmOpenRead | fmShareDenyWrite);
    size = archive->Size();
    head.resize(static_cast<size_t>(std::min(size, kLeadingBytes)));
    archive->ReadBuffer(head.data(), static_cast<int64_t>(head.size()));
  }
  DeleteFile(fileSystem, archivePath);
  std::string message = "The archive of \"" + expected.ProgramName +
                        "\" is not the one the catalogue describes: SHA-256 " + *expected.Sha256 +
                        " expected, " + receivedSha256 + " received (" + GroupedCount(size) +
                        (size == 1 ? " byte" : " bytes");
  if (size > 0) message += " beginning " + DescribeLeadingBytes(head);
  throw EArchiveDigestError(message + ")");
}

}  // namespace varnel
