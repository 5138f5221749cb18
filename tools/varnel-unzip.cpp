// varnel-unzip: runs ExtractArchive as the program does, printing its progress and failure
// questions, or lists an archive's directory with --list.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "actions/ExtractArchive.h"
#include "tools/FailureLine.h"
#include "zip/ZipArchiver.h"

using namespace varnel;

namespace {

enum TFailurePolicy { fpAbort, fpIgnore, fpRetryOnce };

// Answers the component's questions by the command-line policy; passwords are declined.
class TFlagPrompt : public IPrompt {
 public:
  explicit TFlagPrompt(TFailurePolicy policy) : policy_(policy) {}

  TModalResult MessageDlg(const std::string&, TMsgDlgType, unsigned) override { return mrNo; }
  bool PasswordQuery(const std::string&, const std::string&, std::string&) override {
    return false;
  }
  TModalResult FileFailureDlg(const std::string&, unsigned buttons, int nativeError,
                              const std::string& errorMessage) override {
    std::printf("failure\t%d\t%s\n", nativeError, errorMessage.c_str());
    std::fflush(stdout);
    switch (policy_) {
      case fpIgnore:
        return mrIgnore;
      case fpRetryOnce:
        if ((buttons & mbRetry) && !retried_) {
          retried_ = true;
          return mrRetry;
        }
        return mrAbort;
      case fpAbort:
        break;
    }
    return mrAbort;
  }
  // A new file gets its own retry.
  void FileStarted(const std::string& name) {
    if (name != current_) retried_ = false;
    current_ = name;
  }

 private:
  TFailurePolicy policy_;
  bool retried_ = false;
  std::string current_;
};

const char* SpanningName(TZipSpanningMode mode) {
  switch (mode) {
    case smSpanning:
      return "smSpanning";
    case smSplitting:
      return "smSplitting";
    case smNone:
      break;
  }
  return "smNone";
}

const char* PhaseName(TZipProgressPhase phase) {
  return phase == ppStart ? "start" : phase == ppProcess ? "process" : "end";
}

// A progress line, its percentage as "%.2f" prints it: to_chars rounds the same way at a
// fraction of printf's cost, which shows over thousands of small files.
void PrintProgress(TZipProgressPhase phase, double progress, const std::string& name) {
  char percent[400];  // the longest fixed form of a double
  char* end =
      std::to_chars(percent, percent + sizeof percent, progress, std::chars_format::fixed, 2).ptr;
  std::string line = std::string("progress\t") + PhaseName(phase) + "\t";
  line.append(percent, end).append("\t").append(name.c_str()).append("\n");
  std::fwrite(line.data(), 1, line.size(), stdout);
}

void List(const std::string& archive) {
  TFlagPrompt prompt(fpAbort);
  TZipArchiver zip(SystemFileSystem(), prompt);
  zip.FileName = archive;
  zip.OpenArchive(0);
  std::printf("archive\titems=%d\tstub=%lld\tcentraldir=%lld\tspanning=%s\n", zip.ItemCount(),
              static_cast<long long>(zip.StubSize()), static_cast<long long>(zip.CentralDirStart()),
              SpanningName(zip.SpanningMode));
  for (int i = 0; i < zip.ItemCount(); ++i) {
    const TZipDirItem& item = zip.Item(i);
    std::printf("item\t%d\t%s\t%u\t%llu\t%llu\t%08x\t%llu\t%08x\n", i, item.Name.c_str(),
                item.Method, static_cast<unsigned long long>(item.PackedSize()),
                static_cast<unsigned long long>(item.UnpackedSize()), item.Crc32,
                static_cast<unsigned long long>(item.HeaderOffset()), item.ExternalAttr);
  }
  zip.CloseArchive();
}

int Usage() {
  std::fprintf(stderr,
               "usage: varnel-unzip [--on-failure=abort|ignore|retry-once] "
               "[--extract-corrupted] ARCHIVE DESTDIR\n"
               "       varnel-unzip --list ARCHIVE\n"
               "A failed file is answered by --on-failure (default abort); retry-once retries\n"
               "it once and then aborts. Password prompts are cancelled.\n"
               "VARNEL_UNZIP_ONE_THREAD=1 decodes on the calling thread alone.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  TFailurePolicy policy = fpAbort;
  bool list = false;
  TExtractExtras extras;
  std::string paths[2];
  int pathCount = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--list") {
      list = true;
    } else if (arg == "--extract-corrupted") {
      extras.extractCorruptedFiles = true;
    } else if (arg == "--on-failure=abort") {
      policy = fpAbort;
    } else if (arg == "--on-failure=ignore") {
      policy = fpIgnore;
    } else if (arg == "--on-failure=retry-once") {
      policy = fpRetryOnce;
    } else if (arg.starts_with("--") || pathCount == 2) {
      return Usage();
    } else {
      paths[pathCount++] = arg;
    }
  }
  if (pathCount != (list ? 1 : 2)) return Usage();
  const char* oneThread = std::getenv("VARNEL_UNZIP_ONE_THREAD");
  extras.oneThread = oneThread && std::string(oneThread) == "1";
  try {
    if (list) {
      List(paths[0]);
    } else {
      TFlagPrompt prompt(policy);
      extras.onFileProgress = [&](const std::string& name, double progress,
                                  TZipProgressPhase phase) {
        if (phase == ppStart) prompt.FileStarted(name);
        PrintProgress(phase, progress, name);
      };
      ExtractArchive(
          SystemFileSystem(), paths[0], paths[1], prompt, [](const std::string&) {}, extras);
    }
  } catch (...) {
    return ReportFailure();
  }
  return 0;
}
