// The check of the catalogue's signature file, as a program with the repository key makes it.
#include "actions/SignatureDownload.h"
#include "catalog/CatalogueSignature.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "repository/CheckedRepository.h"

namespace varnel {

void CheckCatalogueSignature(TCheckedRepository& repository, const std::string& catalogueSha256,
                             const std::string& repositoryKey) {
  auto report = [&](std::string text) {
    repository.Report(TCheckedRepository::kSignatureLine, std::move(text));
  };
  std::optional<std::string> text;  // nothing when the repository offers none
  try {
    const std::string path = JoinPath(repository.Location, "tools/software.zip.sig");
    if (repository.Remote) {
      text = DownloadCatalogueSignature(repository.Location + ".sig");
    } else if (FileExists(SystemFileSystem(), path)) {
      text = ReadCatalogueSignatureFile(SystemFileSystem(), path);
    }
  } catch (const Exception& e) {
    report("the signature file can't be fetched: " + e.Message());
    return;
  }
  try {
    const TCatalogueSignature signature = ParseCatalogueSignature(text);
    for (std::string& refusal :
         CatalogueSignatureRefusals(signature, catalogueSha256, repositoryKey, UnixTimeNow(), {})) {
      report(std::move(refusal));
    }
  } catch (const ECatalogueSignatureError& e) {
    report(e.Message());
  }
}

}  // namespace varnel
