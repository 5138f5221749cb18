// The check of one record's program archive.
#include <algorithm>
#include <set>

#include "actions/DownloadToFile.h"
#include "http/Uri.h"
#include "platform/FileTree.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Text.h"
#include "repository/CheckedRepository.h"

namespace varnel {

namespace {

// The names extraction refuses: after "\" became "/", absolute names, ".." components, drive
// letters or ":", a doubled separator and NUL.
bool IsUnsafeEntryName(const std::string& stored) {
  if (stored.find("\\\\") != std::string::npos) return true;
  const std::string name = WithSlashes(stored);
  if (name.empty() || name.front() == '/') return true;
  if (name.find_first_of(std::string(":\0", 2)) != std::string::npos) return true;
  if (name.find("//") != std::string::npos) return true;
  for (size_t start = 0; start <= name.size();) {
    size_t end = std::min(name.find('/', start), name.size());
    if (name.compare(start, end - start, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

void CheckDigest(TCheckedRepository& repository, int integrityLine, const std::string& received) {
  try {
    const std::optional<std::string> expected = ParseIntegrityLine(repository.Line(integrityLine));
    if (expected && *expected != received) {
      repository.Report(integrityLine,
                        "the archive's SHA-256 is " + received + ", not " + *expected);
    }
  } catch (const EIntegrityLineError&) {
    repository.Report(integrityLine,
                      "the integrity line is not \"sha256:\" and 64 hexadecimal digits");
  }
}

}  // namespace

void CheckProgramArchive(TCheckedRepository& repository, int nameLine, bool requireDigest) {
  const int urlLine = nameLine + kArchiveUrlField;
  const std::string url = repository.Line(urlLine);
  if (Utf16Length(url) < kMinArchiveUrlLength) return;
  const int integrityLine = nameLine + kIntegrityField;
  if (requireDigest && !repository.Line(integrityLine).starts_with("sha256:")) {
    repository.Report(integrityLine,
                      "the record has no integrity line, so the signature does not cover its "
                      "archive");
  }
  TTempFile download;
  std::string path;
  std::string sha256;
  try {
    if (repository.Remote) {
      TSha256 digest;
      TDownloadHooks hooks;
      hooks.digest = &digest;
      DownloadToFile(url, download.Path(), hooks);
      sha256 = digest.HexDigest();
      path = download.Path();
    } else {
      const std::string tools = JoinPath(repository.Location, "tools/");
      TUri uri(url);
      path = tools + uri.LastSegment;
      if (uri.LastSegment.empty() || !FileExists(SystemFileSystem(), path)) {
        repository.Report(urlLine, "the archive " + url + " is not in " + tools);
        return;
      }
      sha256 = FileSha256(path);
    }
  } catch (const Exception& e) {
    repository.Report(urlLine, "the archive " + url + " can't be fetched: " + e.Message());
    return;
  }
  CheckDigest(repository, integrityLine, sha256);
  try {
    TOpenedArchive archive(path);
    std::set<std::string> names;
    for (int i = 0; i < archive.zip->ItemCount(); ++i) {
      const std::string& stored = archive.zip->Item(i).Name;
      if (IsUnsafeEntryName(stored)) {
        repository.Report(urlLine, "the archive holds the unsafe name \"" + stored + "\"");
      }
      names.insert(WithSlashes(stored));
    }
    const int executableLine = nameLine + kExecutablePathField;
    const std::string executable = WithSlashes(repository.Line(executableLine));
    if (!names.contains(executable)) {
      repository.Report(executableLine,
                        "the archive holds no \"" + executable + "\", the executable path");
    }
  } catch (const Exception& e) {
    repository.Report(urlLine, "the archive " + url + " does not open: " + e.Message());
  }
}

}  // namespace varnel
