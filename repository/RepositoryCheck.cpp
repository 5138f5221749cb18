#include "repository/RepositoryCheck.h"

#include <algorithm>

#include "actions/DownloadToFile.h"
#include "catalog/CatalogueSignature.h"
#include "catalog/IconFile.h"
#include "platform/FileTree.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Text.h"
#include "repository/CheckedRepository.h"
#include "repository/RepositoryError.h"

namespace varnel {

namespace {

constexpr const char* kCatalogueEntry = "software.dat";
constexpr const char* kSignatureFile = "software.zip.sig";
constexpr size_t kMinWebPageLength = 4;

// The catalogue as a whole and record by record: names, lookups, icons and web pages here,
// the archives and the signature in checks of their own.
class TChecker {
 public:
  TChecker(const std::string& location, const std::optional<std::string>& repositoryKey)
      : repositoryKey_(repositoryKey) {
    if (repositoryKey) DecodeRepositoryKey(*repositoryKey);
    repository_.Remote = IsWebAddress(location);
    repository_.Location = location;
  }

  std::vector<TDefect> Run() {
    TTempFile download;
    std::string path = JoinPath(repository_.Location, "tools/software.zip");
    std::string sha256;
    if (repository_.Remote) {
      TSha256 digest;
      TDownloadHooks hooks;
      hooks.digest = &digest;
      DownloadToFile(repository_.Location, download.Path(), hooks);
      sha256 = digest.HexDigest();
      path = download.Path();
    }
    TOpenedArchive catalogue(path);
    const std::optional<int> entry = catalogue.Find(kCatalogueEntry);
    if (!entry) {
      throw ERepositoryError(repository_.Location +
                             ": the catalogue archive holds no software.dat");
    }
    TRepositoryLines& lines = repository_.Lines;
    lines.SetText(DecodeCatalogueText(catalogue.Bytes(*entry)));
    if (repositoryKey_) {
      if (!repository_.Remote) sha256 = FileSha256(path);
      CheckCatalogueSignature(repository_, sha256, *repositoryKey_);
    }

    const int count = lines.Count();
    if (count % kRecordLines != 0) {
      repository_.Report(count - 1, "the catalogue has " + std::to_string(count) +
                                        " lines, not ten for every record");
    }
    for (int first = 0; first + 1 < count; first += kRecordLines) CheckRecord(first, catalogue);
    std::vector<TDefect>& defects = repository_.Defects;
    std::stable_sort(defects.begin(), defects.end(),
                     [](const TDefect& a, const TDefect& b) { return a.Line < b.Line; });
    return defects;
  }

 private:
  void CheckRecord(int first, const TOpenedArchive& catalogue) {
    const int nameLine = first + 1;
    const std::string name = repository_.Line(nameLine);
    if (!IsPlainPathComponent(name)) {
      repository_.Report(nameLine, "the name \"" + name + "\" is not one plain folder name");
    }
    CheckLookup(nameLine, name);
    CheckIcon(first, catalogue);
    CheckProgramArchive(repository_, nameLine, repositoryKey_.has_value());
    const std::string page = repository_.Line(nameLine + kWebPageUrlField);
    if (Utf16Length(page) >= kMinWebPageLength && !IsWebAddress(page)) {
      repository_.Report(nameLine + kWebPageUrlField,
                         "the web page \"" + page + "\" is not an http:// or https:// address");
    }
  }

  void CheckLookup(int nameLine, const std::string& name) {
    const TRepositoryLines& lines = repository_.Lines;
    try {
      for (int k = -1; k <= kWebPageUrlField; ++k) lines.FindRecordField(name, k);
      int last = nameLine;
      for (int i = nameLine + 1; i < lines.Count(); ++i) {
        if (lines.Get(i) == name) last = i;
      }
      if (last != nameLine) {
        repository_.Report(nameLine, "the name \"" + name + "\" appears again on line " +
                                         std::to_string(last + 1) +
                                         ", which its fields are read from");
      }
    } catch (const EStringListError& e) {
      repository_.Report(nameLine, "looking up \"" + name + "\" fails: " + e.Message());
    }
  }

  void CheckIcon(int iconLine, const TOpenedArchive& catalogue) {
    const std::string icon = repository_.Line(iconLine);
    const std::optional<int> entry = catalogue.Find(icon);
    if (!entry) {
      repository_.Report(iconLine, "the icon \"" + icon + "\" is not in the catalogue archive");
      return;
    }
    try {
      if (catalogue.zip->Item(*entry).UnpackedSize() > static_cast<uint64_t>(kMaxIconFileSize)) {
        throw EInvalidGraphic("Icon image is not valid");
      }
      CheckIconHeader(catalogue.Bytes(*entry));
    } catch (const Exception& e) {
      repository_.Report(iconLine,
                         "the icon \"" + icon + "\" fails the header test: " + e.Message());
    }
  }

  const std::optional<std::string> repositoryKey_;
  TCheckedRepository repository_;
};

}  // namespace

std::vector<TDefect> CheckRepository(const std::string& location,
                                     const std::optional<std::string>& repositoryKey) {
  return TChecker(location, repositoryKey).Run();
}

std::string FormatDefect(const TDefect& defect) {
  if (defect.Line == 0) return std::string(kSignatureFile) + ": " + defect.Text;
  return std::string(kCatalogueEntry) + ":" + std::to_string(defect.Line) + ": " + defect.Text;
}

}  // namespace varnel
