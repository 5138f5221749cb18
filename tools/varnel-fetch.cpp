// varnel-fetch URL FILE: downloads URL into FILE exactly as the program does. Exit 0 on
// success; otherwise one line "<ExceptionClass>: <message>" on stderr and exit 1.
#include <cstdio>

#include "actions/DownloadToFile.h"
#include "tools/FailureLine.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: varnel-fetch URL FILE\n");
    return 2;
  }
  try {
    varnel::DownloadToFile(argv[1], argv[2]);
  } catch (...) {
    return varnel::ReportFailure();
  }
  return 0;
}
