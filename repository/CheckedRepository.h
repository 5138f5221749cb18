// What the parts of a repository check share: where the repository lies, its catalogue, the
// defects found so far, and the archives it reads. RepositoryCheck.cpp owns one for a check
// and hands it to the archive and signature checks; one thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/RepositoryLines.h"
#include "platform/Prompt.h"
#include "repository/RepositoryCheck.h"
#include "zip/ZipArchiver.h"

namespace varnel {

struct TCheckedRepository {
  bool Remote = false;
  std::string Location;  // as CheckRepository was given it
  TRepositoryLines Lines;
  std::vector<TDefect> Defects;

  // The line at index, counted from 0; "" past the end.
  std::string Line(int index) const { return index < Lines.Count() ? Lines.Get(index) : ""; }
  // A defect of the line at index, counted from 0; of the signature file for kSignatureLine.
  void Report(int index, std::string text) { Defects.push_back({index + 1, std::move(text)}); }
  static constexpr int kSignatureLine = -1;
};

// An archive name as the reader gives it: a stored "\" is a folder separator.
std::string WithSlashes(std::string name);

// The archives are only read: every question the component could ask is answered "stop".
class TRefusingPrompt : public IPrompt {
 public:
  TModalResult MessageDlg(const std::string&, TMsgDlgType, unsigned) override { return mrAbort; }
  bool PasswordQuery(const std::string&, const std::string&, std::string&) override {
    return false;
  }
};

// One archive of the repository, opened for reading; raises what opening it raises.
struct TOpenedArchive {
  std::unique_ptr<TRefusingPrompt> prompt = std::make_unique<TRefusingPrompt>();
  std::unique_ptr<TZipArchiver> zip = std::make_unique<TZipArchiver>(SystemFileSystem(), *prompt);

  explicit TOpenedArchive(const std::string& path);
  std::optional<int> Find(const std::string& name) const;
  std::string Bytes(int index) const;
};

// The program archive a record names, from its archive line on name line + 1: fetched or
// found, its digest against the integrity line, its entry names and its executable.
// requireDigest: a record with an archive and no integrity line is a defect (a signed
// catalogue vouches for no archive without one).
void CheckProgramArchive(TCheckedRepository& repository, int nameLine, bool requireDigest);

// The catalogue's signature file against repositoryKey (base64) and catalogueSha256.
void CheckCatalogueSignature(TCheckedRepository& repository, const std::string& catalogueSha256,
                             const std::string& repositoryKey);

}  // namespace varnel
