// Generated catalogues for the benchmarks: n programs in a temporary data folder, each with
// an icon file, some names repeated and some archive lines short, as real catalogues have.
#pragma once

#include <string>

namespace varnel::bench {

class TGeneratedCatalogue {
 public:
  explicit TGeneratedCatalogue(int programs);
  ~TGeneratedCatalogue();
  TGeneratedCatalogue(const TGeneratedCatalogue&) = delete;
  TGeneratedCatalogue& operator=(const TGeneratedCatalogue&) = delete;

  const std::string& AppDir() const { return appDir_; }
  std::string DataDir() const { return appDir_ + "data/"; }
  std::string CataloguePath() const { return DataDir() + "software.dat"; }
  static std::string Name(int program);

 private:
  std::string appDir_;
};

}  // namespace varnel::bench
