// varnel-repo: builds a repository from its source folder, or checks one over HTTP or in a
// folder. Exit 0 when it is done and nothing is wrong; a report or a failure exits 1.
#include <cstdio>
#include <string>

#include "repository/RepositoryBuild.h"
#include "repository/RepositoryCheck.h"
#include "tools/FailureLine.h"

using namespace varnel;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: varnel-repo build SOURCE OUTDIR BASEURL\n"
               "       varnel-repo check URL|FOLDER\n"
               "build writes OUTDIR/tools/software.zip and the program archives; check prints\n"
               "one line per defect of the catalogue, its icons and archives.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (!((command == "build" && argc == 5) || (command == "check" && argc == 3))) return Usage();
  try {
    if (command == "build") {
      BuildRepository(argv[2], argv[3], argv[4]);
      return 0;
    }
    const std::vector<TDefect> defects = CheckRepository(argv[2]);
    for (const TDefect& defect : defects) std::printf("%s\n", FormatDefect(defect).c_str());
    return defects.empty() ? 0 : 1;
  } catch (...) {
    return ReportFailure();
  }
}
