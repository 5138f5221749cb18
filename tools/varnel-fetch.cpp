// varnel-fetch URL FILE: downloads URL into FILE exactly as the program does. Exit 0 on
// success; otherwise one line "<ExceptionClass>: <message>" on stderr and exit 1.
#include <cstdio>
#include <exception>
#include <string>

#include "actions/DownloadToFile.h"
#include "platform/Exception.h"

namespace {

std::string EscapeLineBreaks(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: varnel-fetch URL FILE\n");
    return 2;
  }
  try {
    varnel::DownloadToFile(argv[1], argv[2]);
  } catch (const varnel::Exception& e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassName(), EscapeLineBreaks(e.Message()).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Exception: %s\n", EscapeLineBreaks(e.what()).c_str());
    return 1;
  }
  return 0;
}
