// How a command-line tool reports the exception that ended it: one line on stderr,
// "<ExceptionClass>: <message>", with CR and LF inside the message written as \r and \n.
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "platform/Exception.h"

namespace varnel {

inline std::string EscapeLineBreaks(std::string_view text) {
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

// REQUIRES: called inside a catch block. Writes the failure line after what the tool already
// printed on stdout, and returns the tools' failure exit code, 1.
inline int ReportFailure() {
  std::fflush(stdout);
  try {
    throw;
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassName(), EscapeLineBreaks(e.Message()).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Exception: %s\n", EscapeLineBreaks(e.what()).c_str());
  } catch (...) {
    std::fprintf(stderr, "Exception: unknown failure\n");
  }
  return 1;
}

}  // namespace varnel
