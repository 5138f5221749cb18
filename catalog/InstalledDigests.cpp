#include "catalog/InstalledDigests.h"

#include "catalog/Installed.h"
#include "catalog/RepositoryLines.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

constexpr size_t kDigestLength = 64;
// Far more than any data folder holds; a state file beyond it is not read on.
constexpr size_t kMaxStateFile = 64 << 20;

bool IsDigest(const std::string& text) {
  return text.size() == kDigestLength &&
         text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::optional<std::string> MarkerDigest(IFileSystem& fileSystem, const std::string& folder) {
  const std::string marker = JoinPath(folder, kInstallMarker);
  if (!FileExists(fileSystem, marker)) return std::nullopt;
  try {
    std::string digest = ReadFileHead(fileSystem, marker, kDigestLength);
    if (IsDigest(digest)) return digest;
  } catch (const Exception&) {
  }
  return std::nullopt;
}

}  // namespace

TInstalledDigests ReadInstalledDigests(IFileSystem& fileSystem, const std::string& dataDir) {
  TInstalledDigests digests;
  const std::string path = JoinPath(dataDir, kInstalledDigestsFile);
  if (!FileExists(fileSystem, path)) return digests;
  const std::string text = ReadFileHead(fileSystem, path, kMaxStateFile);
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.size() > kDigestLength + 1 && line[kDigestLength] == ' ' &&
        IsDigest(line.substr(0, kDigestLength))) {
      digests[line.substr(kDigestLength + 1)] = line.substr(0, kDigestLength);
    }
  }
  return digests;
}

void WriteInstalledDigests(IFileSystem& fileSystem, const std::string& dataDir,
                           const TInstalledDigests& digests) {
  std::string text;
  for (const auto& [name, digest] : digests) text += digest + " " + name + "\n";
  const std::string path = JoinPath(dataDir, kInstalledDigestsFile);
  const std::string fresh = path + "-new";
  WriteTextFile(fileSystem, fresh, text);
  fileSystem.Rename(fresh, path);
}

std::optional<std::string> InstalledDigest(IFileSystem& fileSystem, const std::string& dataDir,
                                           const TInstalledDigests& digests,
                                           const std::string& name) {
  if (std::optional<std::string> marked = MarkerDigest(fileSystem, JoinPath(dataDir, name))) {
    return marked;
  }
  const auto found = digests.find(name);
  if (found == digests.end()) return std::nullopt;
  return found->second;
}

bool IsOutdated(IFileSystem& fileSystem, const std::string& dataDir,
                const TInstalledDigests& digests, const TRepositoryLines& catalogue,
                const std::string& name) {
  if (!IsProgramInstalled(fileSystem, dataDir, name)) return false;
  const std::optional<std::string> installed = InstalledDigest(fileSystem, dataDir, digests, name);
  if (!installed) return false;
  try {
    const std::optional<std::string> offered = catalogue.FindArchiveSha256(name);
    return offered && *offered != *installed;
  } catch (const Exception&) {
    return false;  // a record cut short or a malformed integrity line: nothing to compare
  }
}

std::vector<std::string> OutdatedPrograms(IFileSystem& fileSystem, const std::string& dataDir,
                                          const TInstalledDigests& digests,
                                          const TRepositoryLines& catalogue) {
  std::vector<std::string> outdated;
  for (const auto& entry : digests) {
    if (IsOutdated(fileSystem, dataDir, digests, catalogue, entry.first)) {
      outdated.push_back(entry.first);
    }
  }
  return outdated;
}

void RecoverInstalledDigests(IFileSystem& fileSystem, const std::string& dataDir) {
  TInstalledDigests digests = ReadInstalledDigests(fileSystem, dataDir);
  std::vector<std::string> markers;
  for (const std::string& name : fileSystem.Enumerate(dataDir)) {
    if (!IsProgramInstalled(fileSystem, dataDir, name)) continue;
    if (std::optional<std::string> marked = MarkerDigest(fileSystem, JoinPath(dataDir, name))) {
      digests[name] = *marked;
      markers.push_back(JoinPath(JoinPath(dataDir, name), kInstallMarker));
    }
  }
  if (markers.empty()) return;
  WriteInstalledDigests(fileSystem, dataDir, digests);
  for (const std::string& marker : markers) DeleteFile(fileSystem, marker);
}

}  // namespace varnel
