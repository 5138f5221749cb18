#include "repository/RepositoryBuild.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>
#include <vector>

#include "catalog/RepositoryLines.h"
#include "platform/FileTree.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Streams.h"
#include "repository/Manifest.h"
#include "repository/RepositoryCheck.h"
#include "repository/RepositoryError.h"

namespace varnel {

namespace {

constexpr const char* kManifestSuffix = ".toml";
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint32_t kCatalogueMode = 0100644;

// One archive being written: entries are added in the order they are to appear, and Close
// writes the file. Without Close nothing is written.
class TZipWriter {
 public:
  explicit TZipWriter(const std::string& path) : path_(path) {
    int error = 0;
    zip_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (zip_ == nullptr) {
      zip_error_t details;
      zip_error_init_with_code(&details, error);
      const std::string message = zip_error_strerror(&details);
      zip_error_fini(&details);
      throw ERepositoryError(path + ": " + message);
    }
  }
  ~TZipWriter() {
    if (zip_ != nullptr) zip_discard(zip_);
  }
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  void AddFile(const std::string& name, const std::string& path, uint32_t mode, int64_t time) {
    Add(name, zip_source_file(zip_, path.c_str(), 0, -1), mode, time);
  }
  void AddBytes(const std::string& name, std::string bytes, uint32_t mode, int64_t time) {
    const std::string& kept = buffers_.emplace_back(std::move(bytes));
    Add(name, zip_source_buffer(zip_, kept.data(), kept.size(), 0), mode, time);
  }
  void AddFolder(const std::string& name, uint32_t mode, int64_t time) {
    const zip_int64_t index = zip_dir_add(zip_, name.c_str(), ZIP_FL_ENC_UTF_8);
    if (index < 0) Fail();
    SetAttributes(index, mode, time, kFolderAttribute);
  }
  void Close() {
    if (zip_close(zip_) != 0) Fail();
    zip_ = nullptr;
  }

 private:
  [[noreturn]] void Fail() {
    throw ERepositoryError(path_ + ": " + zip_error_strerror(zip_get_error(zip_)));
  }
  void Add(const std::string& name, zip_source_t* source, uint32_t mode, int64_t time) {
    if (source == nullptr) Fail();
    const zip_int64_t index = zip_file_add(zip_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      Fail();
    }
    if (zip_set_file_compression(zip_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9) != 0)
      Fail();
    SetAttributes(index, mode, time, 0);
  }
  void SetAttributes(zip_int64_t index, uint32_t mode, int64_t time, uint32_t dosAttributes) {
    const auto at = static_cast<zip_uint64_t>(index);
    if (zip_file_set_external_attributes(zip_, at, 0, ZIP_OPSYS_UNIX,
                                         (mode & 0xFFFF) << 16 | dosAttributes) != 0 ||
        zip_file_set_mtime(zip_, at, static_cast<time_t>(time), 0) != 0) {
      Fail();
    }
  }

  std::string path_;
  zip_t* zip_ = nullptr;
  std::deque<std::string> buffers_;  // bytes libzip reads only when the archive is closed
};

bool IsArchiveName(const std::string& name) {
  if (name.empty() || name.front() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '.' || c == '_' || c == '-';
  });
}

struct TProgramSource {
  std::string ManifestFile;  // as named in messages
  std::string ArchiveName;   // NAME of NAME.toml
  TProgramManifest Manifest;
};

std::vector<TProgramSource> ReadSources(const std::string& source) {
  std::vector<TProgramSource> programs;
  for (const std::string& file : ListFolder(SystemFileSystem(), source)) {
    if (!file.ends_with(kManifestSuffix)) continue;
    const std::string path = JoinPath(source, file);
    if (FileInfo(SystemFileSystem(), path).Kind != fkFile) continue;
    const std::string name = file.substr(0, file.size() - std::string(kManifestSuffix).size());
    if (!IsArchiveName(name)) {
      throw ERepositoryError(path +
                             ": an archive name is made of letters, digits, \".\", \"_\" "
                             "and \"-\" and does not begin with \".\"");
    }
    programs.push_back({path, name, ReadManifest(path)});
  }
  if (programs.empty()) throw ERepositoryError(source + ": no manifest (NAME.toml) found");
  return programs;
}

// The program's folder into archivePath; false when the program has no folder.
bool WriteProgramArchive(const TProgramSource& program, const std::string& folder,
                         const std::string& archivePath) {
  if (!DirectoryExists(SystemFileSystem(), folder)) return false;
  TZipWriter zip(archivePath);
  for (const TFileTreeEntry& entry : ListFileTree(SystemFileSystem(), folder)) {
    const std::string path = JoinPath(folder, entry.RelativePath);
    if (entry.Kind == fkFolder) {
      zip.AddFolder(entry.RelativePath + "/", entry.Mode, entry.ModifiedTime);
    } else if (entry.Kind == fkFile) {
      zip.AddFile(entry.RelativePath, path, entry.Mode, entry.ModifiedTime);
    } else {
      throw ERepositoryError(program.ManifestFile + ": " + path +
                             " is neither a file nor a folder (links are not archived)");
    }
  }
  zip.Close();
  return true;
}

}  // namespace

void BuildRepository(const std::string& source, const std::string& outDir,
                     const std::string& baseUrl) {
  const std::vector<TProgramSource> programs = ReadSources(source);
  const std::string tools = JoinPath(outDir, "tools/");
  if (!ForceDirectories(SystemFileSystem(), tools))
    throw ERepositoryError(tools + ": the folder can't be made");
  std::string base = baseUrl;
  while (base.ends_with("/")) base.pop_back();

  std::string catalogue = "\xEF\xBB\xBF";
  std::map<std::string, std::string> icons;  // entry name -> source path
  int64_t newest = 0;
  for (const TProgramSource& program : programs) {
    const TProgramManifest& m = program.Manifest;
    const std::string iconPath = JoinPath(source, m.Icon);
    const std::string iconName = ExtractFileName(m.Icon);
    if (auto [at, added] = icons.emplace(iconName, iconPath); !added && at->second != iconPath) {
      throw ERepositoryError(program.ManifestFile + ": another icon is named \"" + iconName +
                             "\" already");
    }
    if (!FileExists(SystemFileSystem(), iconPath)) {
      throw ERepositoryError(program.ManifestFile + ": the icon " + iconPath + " is missing");
    }
    newest = std::max(newest, FileInfo(SystemFileSystem(), program.ManifestFile).ModifiedTime);

    const std::string archiveFile = program.ArchiveName + ".zip";
    std::string url;
    std::string integrity;
    if (WriteProgramArchive(program, JoinPath(source, program.ArchiveName), tools + archiveFile)) {
      url = base + "/tools/" + archiveFile;
      integrity = "sha256:" + FileSha256(tools + archiveFile);
    }
    for (const std::string& line : {iconName, m.Name, url, m.Executable, m.Description, m.WebPage,
                                    integrity, std::string(), std::string(), std::string()}) {
      catalogue += line + "\r\n";
    }
  }

  TZipWriter zip(tools + "software.zip");
  zip.AddBytes("software.dat", std::move(catalogue), kCatalogueMode, newest);
  for (const auto& [name, path] : icons) {
    const TFileTreeEntry icon = FileInfo(SystemFileSystem(), path);
    zip.AddFile(name, path, icon.Mode, icon.ModifiedTime);
  }
  zip.Close();

  const std::vector<TDefect> defects = CheckRepository(outDir);
  if (!defects.empty()) {
    const TDefect& first = defects.front();
    const size_t record = static_cast<size_t>((first.Line - 1) / kRecordLines);
    throw ERepositoryError(programs[std::min(record, programs.size() - 1)].ManifestFile + ": " +
                           first.Text);
  }
}

}  // namespace varnel
