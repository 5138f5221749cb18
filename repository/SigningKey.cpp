#include "repository/SigningKey.h"

#include "catalog/RepositoryLines.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ScopeGuard.h"
#include "repository/RepositoryError.h"

namespace varnel {

namespace {

constexpr uint32_t kOwnerOnlyFolder = 0700;
constexpr uint32_t kOwnerOnlyFile = 0600;

}  // namespace

std::string GenerateSigningKey(const std::string& secretFile) {
  const TEd25519PrivateKey key = TEd25519PrivateKey::Generate();
  const std::string pem = key.Pem();
  IFileSystem& fileSystem = SystemFileSystem();
  // Taking the name first keeps an existing key from being replaced.
  fileSystem.OpenFile(secretFile, fmCreateNew).reset();
  bool written = false;
  // The key is written in a folder only its owner can enter, so that nobody can open the file
  // before its mode shuts them out, and then moved over the empty file.
  const std::string folder = CreateUniqueDir(fileSystem, ExtractFilePath(secretFile) + ".keygen-");
  const std::string staged = folder + "key.pem";
  TScopeExit cleanUp([&] {
    DeleteFile(fileSystem, staged);
    RemoveDir(fileSystem, folder);
    if (!written) DeleteFile(fileSystem, secretFile);
  });
  fileSystem.SetMode(folder, kOwnerOnlyFolder);
  {
    std::unique_ptr<TStream> file = fileSystem.OpenFile(staged, fmCreateNew);
    fileSystem.SetMode(staged, kOwnerOnlyFile);
    file->WriteBuffer(pem.data(), static_cast<int64_t>(pem.size()));
  }
  fileSystem.Rename(staged, secretFile);
  written = true;
  return EncodeBase64(key.PublicKey());
}

TEd25519PrivateKey ReadSigningKey(const std::string& secretFile) {
  std::optional<TEd25519PrivateKey> key = TEd25519PrivateKey::FromPem(ReadWholeFile(secretFile));
  if (!key) {
    throw ERepositoryError(secretFile +
                           ": not an unencrypted Ed25519 private key in PEM form (PKCS#8)");
  }
  return *key;
}

}  // namespace varnel
