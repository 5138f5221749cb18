// Translates errno once, at the OS boundary, into the system error numbers the program's
// messages are keyed by, and gives the system's text for such a number.
#pragma once

#include <string>

namespace varnel {

// The system error number for an errno value. A missing file whose parent folder is missing
// too is "path not found" (3); pass the path so that case can be told apart.
int SystemErrorFromErrno(int err, const std::string& path = {});

// The system's message for a system error number, e.g. "Access is denied".
std::string SystemErrorMessage(int systemError);

}  // namespace varnel
