#include "repository/RepositoryCheck.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "actions/DownloadToFile.h"
#include "catalog/IconFile.h"
#include "catalog/RepositoryLines.h"
#include "http/Uri.h"
#include "platform/FileTree.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Text.h"
#include "repository/RepositoryError.h"
#include "zip/ZipArchiver.h"

namespace varnel {

namespace {

constexpr const char* kCatalogueEntry = "software.dat";
constexpr size_t kMinWebPageLength = 4;

// The archives are only read: every question the component could ask is answered "stop".
class TRefusingPrompt : public IPrompt {
 public:
  TModalResult MessageDlg(const std::string&, TMsgDlgType, unsigned) override { return mrAbort; }
  bool PasswordQuery(const std::string&, const std::string&, std::string&) override {
    return false;
  }
};

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

bool IsWebAddress(const std::string& text) {
  return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://");
}

std::string WithSlashes(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

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

// One archive of the repository, opened for reading.
struct TOpenedArchive {
  std::unique_ptr<TRefusingPrompt> prompt = std::make_unique<TRefusingPrompt>();
  std::unique_ptr<TZipArchiver> zip = std::make_unique<TZipArchiver>(SystemFileSystem(), *prompt);

  explicit TOpenedArchive(const std::string& path) {
    zip->FileName = path;
    zip->OpenArchive(0);
  }
  std::optional<int> Find(const std::string& name) const {
    for (int i = 0; i < zip->ItemCount(); ++i) {
      if (WithSlashes(zip->Item(i).Name) == name) return i;
    }
    return std::nullopt;
  }
  std::string Bytes(int index) const {
    TMemoryStream bytes;
    zip->ExtractItemToStream(index, bytes);
    return bytes.Text();
  }
};

class TChecker {
 public:
  explicit TChecker(const std::string& location)
      : remote_(IsWebAddress(location)), location_(location) {}

  std::vector<TDefect> Run() {
    TTempFile download;
    std::string path = JoinPath(location_, "tools/software.zip");
    if (remote_) {
      DownloadToFile(location_, download.Path());
      path = download.Path();
    }
    TOpenedArchive catalogue(path);
    const std::optional<int> entry = catalogue.Find(kCatalogueEntry);
    if (!entry) throw ERepositoryError(location_ + ": the catalogue archive holds no software.dat");
    lines_.SetText(DecodeCatalogueText(catalogue.Bytes(*entry)));

    const int count = lines_.Count();
    if (count % kRecordLines != 0) {
      Report(count - 1,
             "the catalogue has " + std::to_string(count) + " lines, not ten for every record");
    }
    for (int first = 0; first + 1 < count; first += kRecordLines) CheckRecord(first, catalogue);
    std::stable_sort(defects_.begin(), defects_.end(),
                     [](const TDefect& a, const TDefect& b) { return a.Line < b.Line; });
    return defects_;
  }

 private:
  // Index to the line the defect concerns, counted from 1.
  void Report(int index, std::string text) { defects_.push_back({index + 1, std::move(text)}); }

  std::string Line(int index) const { return index < lines_.Count() ? lines_.Get(index) : ""; }

  void CheckRecord(int first, const TOpenedArchive& catalogue) {
    const int nameLine = first + 1;
    const std::string name = Line(nameLine);
    if (!IsPlainPathComponent(name)) {
      Report(nameLine, "the name \"" + name + "\" is not one plain folder name");
    }
    try {
      for (int k = -1; k <= kWebPageUrlField; ++k) lines_.FindRecordField(name, k);
      int last = nameLine;
      for (int i = nameLine + 1; i < lines_.Count(); ++i) {
        if (lines_.Get(i) == name) last = i;
      }
      if (last != nameLine) {
        Report(nameLine, "the name \"" + name + "\" appears again on line " +
                             std::to_string(last + 1) + ", which its fields are read from");
      }
    } catch (const EStringListError& e) {
      Report(nameLine, "looking up \"" + name + "\" fails: " + e.Message());
    }
    CheckIcon(first, catalogue);
    CheckArchive(nameLine);
    const std::string page = Line(nameLine + kWebPageUrlField);
    if (Utf16Length(page) >= kMinWebPageLength && !IsWebAddress(page)) {
      Report(nameLine + kWebPageUrlField,
             "the web page \"" + page + "\" is not an http:// or https:// address");
    }
  }

  void CheckIcon(int iconLine, const TOpenedArchive& catalogue) {
    const std::string icon = Line(iconLine);
    const std::optional<int> entry = catalogue.Find(icon);
    if (!entry) {
      Report(iconLine, "the icon \"" + icon + "\" is not in the catalogue archive");
      return;
    }
    try {
      if (catalogue.zip->Item(*entry).UnpackedSize() > static_cast<uint64_t>(kMaxIconFileSize)) {
        throw EInvalidGraphic("Icon image is not valid");
      }
      CheckIconHeader(catalogue.Bytes(*entry));
    } catch (const Exception& e) {
      Report(iconLine, "the icon \"" + icon + "\" fails the header test: " + e.Message());
    }
  }

  void CheckArchive(int nameLine) {
    const int urlLine = nameLine + kArchiveUrlField;
    const std::string url = Line(urlLine);
    if (Utf16Length(url) < kMinArchiveUrlLength) return;
    TTempFile download;
    std::string path;
    std::string sha256;
    try {
      if (remote_) {
        TSha256 digest;
        TDownloadHooks hooks;
        hooks.digest = &digest;
        DownloadToFile(url, download.Path(), hooks);
        sha256 = digest.HexDigest();
        path = download.Path();
      } else {
        TUri uri(url);
        path = JoinPath(location_, "tools/" + uri.LastSegment);
        if (uri.LastSegment.empty() || !FileExists(SystemFileSystem(), path)) {
          Report(urlLine, "the archive " + url + " is not in " + JoinPath(location_, "tools/"));
          return;
        }
        sha256 = FileSha256(path);
      }
    } catch (const Exception& e) {
      Report(urlLine, "the archive " + url + " can't be fetched: " + e.Message());
      return;
    }
    CheckDigest(nameLine + kIntegrityField, sha256);
    try {
      TOpenedArchive archive(path);
      std::set<std::string> names;
      for (int i = 0; i < archive.zip->ItemCount(); ++i) {
        const std::string& stored = archive.zip->Item(i).Name;
        if (IsUnsafeEntryName(stored)) {
          Report(urlLine, "the archive holds the unsafe name \"" + stored + "\"");
        }
        names.insert(WithSlashes(stored));
      }
      const std::string executable = WithSlashes(Line(nameLine + kExecutablePathField));
      if (!names.contains(executable)) {
        Report(nameLine + kExecutablePathField,
               "the archive holds no \"" + executable + "\", the executable path");
      }
    } catch (const Exception& e) {
      Report(urlLine, "the archive " + url + " does not open: " + e.Message());
    }
  }

  void CheckDigest(int integrityLine, const std::string& received) {
    try {
      const std::optional<std::string> expected = ParseIntegrityLine(Line(integrityLine));
      if (expected && *expected != received) {
        Report(integrityLine, "the archive's SHA-256 is " + received + ", not " + *expected);
      }
    } catch (const EIntegrityLineError&) {
      Report(integrityLine, "the integrity line is not \"sha256:\" and 64 hexadecimal digits");
    }
  }

  const bool remote_;
  const std::string location_;
  TRepositoryLines lines_;
  std::vector<TDefect> defects_;
};

}  // namespace

std::vector<TDefect> CheckRepository(const std::string& location) {
  return TChecker(location).Run();
}

std::string FormatDefect(const TDefect& defect) {
  return std::string(kCatalogueEntry) + ":" + std::to_string(defect.Line) + ": " + defect.Text;
}

}  // namespace varnel
