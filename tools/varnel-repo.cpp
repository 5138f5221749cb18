// varnel-repo: builds and signs a repository from its source folder, checks one over HTTP or
// in a folder, or makes a signing key. Exit 0 when it is done and nothing is wrong; a report
// or a failure exits 1, a command line it does not understand 2.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalog/CatalogueSignature.h"
#include "repository/RepositoryBuild.h"
#include "repository/RepositoryCheck.h"
#include "repository/RepositoryError.h"
#include "repository/SigningKey.h"
#include "tools/FailureLine.h"

using namespace varnel;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: varnel-repo build SOURCE OUTDIR BASEURL [--sign SECRETFILE] [--serial N]\n"
               "                         [--valid-days D]\n"
               "       varnel-repo check URL|FOLDER [--key PUBLIC]\n"
               "       varnel-repo keygen SECRETFILE\n"
               "build writes OUTDIR/tools/software.zip and the program archives, and with --sign\n"
               "software.zip.sig (serial: default the build time; valid for D days, default 30);\n"
               "check prints one line per defect of the catalogue, its icons and archives, and\n"
               "with --key (base64) of its signature; keygen writes a new private key and prints\n"
               "its public key.\n");
  return 2;
}

int64_t WholeNumber(const std::string& option, const std::string& text) {
  const std::optional<int64_t> number = ParseCatalogueSerial(text);
  if (!number) throw ERepositoryError(option + " takes a whole number, not \"" + text + "\"");
  return *number;
}

// The "--name value" pairs after the positional arguments into options; false when one is
// unknown, repeated or without its value.
bool ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& known,
                  std::map<std::string, std::string>& options) {
  if (args.size() % 2 != 0) return false;
  for (size_t i = 0; i < args.size(); i += 2) {
    if (!known.contains(args[i]) || !options.emplace(args[i], args[i + 1]).second) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  const std::string command = args.empty() ? "" : args[0];
  const std::map<std::string, std::set<std::string>> known = {
      {"build", {"--sign", "--serial", "--valid-days"}}, {"check", {"--key"}}, {"keygen", {}}};
  const size_t positional = command == "build" ? 4 : 2;
  std::map<std::string, std::string> options;
  if (!known.contains(command) || args.size() < positional ||
      !ParseOptions({args.begin() + static_cast<long>(positional), args.end()}, known.at(command),
                    options) ||
      (!options.empty() && command == "build" && !options.contains("--sign"))) {
    return Usage();
  }
  auto option = [&](const std::string& name) {
    return options.contains(name) ? std::optional(options.at(name)) : std::nullopt;
  };
  try {
    if (command == "keygen") {
      std::printf("%s\n", GenerateSigningKey(args[1]).c_str());
      return 0;
    }
    if (command == "build") {
      std::optional<TSigning> signing;
      if (options.contains("--sign")) {
        signing.emplace();
        signing->SecretFile = options.at("--sign");
        if (auto serial = option("--serial")) signing->Serial = WholeNumber("--serial", *serial);
        if (auto days = option("--valid-days")) {
          signing->ValidDays = WholeNumber("--valid-days", *days);
        }
      }
      BuildRepository(args[1], args[2], args[3], signing);
      return 0;
    }
    const std::vector<TDefect> defects = CheckRepository(args[1], option("--key"));
    for (const TDefect& defect : defects) std::printf("%s\n", FormatDefect(defect).c_str());
    return defects.empty() ? 0 : 1;
  } catch (...) {
    return ReportFailure();
  }
}
