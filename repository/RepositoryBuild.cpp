#include "repository/RepositoryBuild.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>
#include <vector>

#include "catalog/CatalogueSignature.h"
#include "catalog/RepositoryLines.h"
#include "platform/FileTree.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Streams.h"
#include "repository/Manifest.h"
#include "repository/RepositoryCheck.h"
#include "repository/RepositoryError.h"
#include "repository/SigningKey.h"

namespace varnel {

namespace {

constexpr const char* kManifestSuffix = ".toml";
constexpr const char* kCatalogueArchive = "software.zip";
constexpr const char* kSignatureFile = "software.zip.sig";
constexpr int64_t kSecondsPerDay = 86400;
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
    const TTreeEntryKind kind = FileInfo(SystemFileSystem(), path).Kind;
    if (kind == fkFolder) continue;
    if (kind != fkFile) throw ERepositoryError(path + ": not a file (links are not read)");
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
  const TFileKind kind = SystemFileSystem().Status(folder, false).Kind;
  if (kind == TFileKind::Link) {
    throw ERepositoryError(program.ManifestFile + ": " + folder +
                           " is a link (links are not archived)");
  }
  if (kind != TFileKind::Folder) return false;
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

// The manifest's icon below source, reached through folders only: no "..", no link.
std::string IconPath(const TProgramSource& program, const std::string& source) {
  const std::string& icon = program.Manifest.Icon;
  std::string path = IncludeTrailingPathDelimiter(source);
  for (size_t start = 0;;) {
    const size_t end = std::min(icon.find('/', start), icon.size());
    const std::string part = icon.substr(start, end - start);
    path += part;
    const TFileKind kind = SystemFileSystem().Status(path, false).Kind;
    if (IsPlainPathComponent(part) && kind == TFileKind::None) {
      throw ERepositoryError(program.ManifestFile + ": the icon " + path + " is missing");
    }
    if (!IsPlainPathComponent(part) ||
        kind != (end == icon.size() ? TFileKind::File : TFileKind::Folder)) {
      throw ERepositoryError(program.ManifestFile + ": the icon \"" + icon +
                             "\" is not a file inside " + source +
                             " (\"..\" and links are refused)");
    }
    if (end == icon.size()) return path;
    path += kPathDelim;
    start = end + 1;
  }
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::unique_ptr<TStream> file = SystemFileSystem().OpenFile(path, fmCreate);
  file->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

// Checks the build in staging as CheckRepository checks a folder, with the signing key's
// public key when it is signed; raises ERepositoryError naming the manifest of the first defect.
void CheckBuild(const std::string& staging, const std::vector<TProgramSource>& programs,
                const std::optional<TEd25519PrivateKey>& key) {
  const std::vector<TDefect> defects =
      CheckRepository(staging, key ? std::optional(EncodeBase64(key->PublicKey())) : std::nullopt);
  if (defects.empty()) return;
  const TDefect& first = defects.front();
  if (first.Line == 0) throw ERepositoryError(FormatDefect(first));
  const size_t record = static_cast<size_t>((first.Line - 1) / kRecordLines);
  throw ERepositoryError(programs[std::min(record, programs.size() - 1)].ManifestFile + ": " +
                         first.Text);
}

// A folder beside outDir that a build is made in, with its tools/ folder; removed with what is
// left in it when the build ends. Beside, so that moving the files in is a rename.
class TBuildFolder {
 public:
  explicit TBuildFolder(const std::string& outDir) {
    std::string target = outDir;
    while (target.size() > 1 && target.ends_with(kPathDelim)) target.pop_back();
    const std::string parent = ExtractFilePath(target);
    if (!parent.empty() && !ForceDirectories(fileSystem_, parent)) {
      throw ERepositoryError(parent + ": the folder can't be made");
    }
    folder_ = CreateUniqueDir(fileSystem_, parent + "." + ExtractFileName(target) + ".building-");
    tools_ = folder_ + "tools/";
    MkDir(fileSystem_, tools_);
  }
  ~TBuildFolder() {
    try {
      for (const std::string& name : ListFolder(fileSystem_, tools_)) {
        DeleteFile(fileSystem_, tools_ + name);
      }
    } catch (const Exception&) {
      // What can't be listed can't be removed either; it stays for the builder to see.
    }
    RemoveDir(fileSystem_, tools_);
    RemoveDir(fileSystem_, folder_);
  }
  TBuildFolder(const TBuildFolder&) = delete;
  TBuildFolder& operator=(const TBuildFolder&) = delete;

  const std::string& Folder() const { return folder_; }
  const std::string& Tools() const { return tools_; }

  // Moves the files into outDir/tools/: the program archives, then the signature, then the
  // catalogue archive, which makes the others part of the repository.
  void Publish(const std::string& outDir, bool isSigned) {
    const std::string tools = JoinPath(outDir, "tools/");
    if (!ForceDirectories(fileSystem_, tools)) {
      throw ERepositoryError(tools + ": the folder can't be made");
    }
    for (const std::string& name : ListFolder(fileSystem_, tools_)) {
      if (name != kCatalogueArchive && name != kSignatureFile) Move(name, tools);
    }
    if (isSigned) {
      Move(kSignatureFile, tools);
    } else {
      // The signature of an earlier build would not describe this catalogue.
      DeleteFile(fileSystem_, tools + kSignatureFile);
    }
    Move(kCatalogueArchive, tools);
  }

 private:
  void Move(const std::string& name, const std::string& tools) {
    fileSystem_.Rename(tools_ + name, tools + name);
  }

  IFileSystem& fileSystem_ = SystemFileSystem();
  std::string folder_;
  std::string tools_;
};

}  // namespace

void BuildRepository(const std::string& source, const std::string& outDir,
                     const std::string& baseUrl, const std::optional<TSigning>& signing) {
  const std::vector<TProgramSource> programs = ReadSources(source);
  std::optional<TEd25519PrivateKey> key;
  if (signing) {
    if (signing->ValidDays < 1 || signing->ValidDays > kMaxValidDays) {
      throw ERepositoryError("a signature is valid for 1 to " + std::to_string(kMaxValidDays) +
                             " days, not " + std::to_string(signing->ValidDays));
    }
    key = ReadSigningKey(signing->SecretFile);
  }
  // Everything is made beside outDir and moved in once it passed the check, so that a failed
  // build leaves outDir as it was.
  TBuildFolder build(outDir);
  const std::string& tools = build.Tools();
  std::string base = baseUrl;
  while (base.ends_with("/")) base.pop_back();

  std::string catalogue = "\xEF\xBB\xBF";
  std::map<std::string, std::string> icons;  // entry name -> source path
  int64_t newest = 0;
  for (const TProgramSource& program : programs) {
    const TProgramManifest& m = program.Manifest;
    const std::string iconPath = IconPath(program, source);
    const std::string iconName = ExtractFileName(m.Icon);
    if (auto [at, added] = icons.emplace(iconName, iconPath); !added && at->second != iconPath) {
      throw ERepositoryError(program.ManifestFile + ": another icon is named \"" + iconName +
                             "\" already");
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

  TZipWriter zip(tools + kCatalogueArchive);
  zip.AddBytes("software.dat", std::move(catalogue), kCatalogueMode, newest);
  for (const auto& [name, path] : icons) {
    const TFileTreeEntry icon = FileInfo(SystemFileSystem(), path);
    zip.AddFile(name, path, icon.Mode, icon.ModifiedTime);
  }
  zip.Close();

  if (key) {
    const int64_t now = UnixTimeNow();
    WriteTextFile(tools + kSignatureFile,
                  WriteCatalogueSignature(*key, signing->Serial.value_or(now),
                                          now + signing->ValidDays * kSecondsPerDay,
                                          FileSha256(tools + kCatalogueArchive)));
  }
  CheckBuild(build.Folder(), programs, key);
  build.Publish(outDir, key.has_value());
}

}  // namespace varnel
