// The archive engine's failure: a raise-site code (NativeError) and the index of its text in the
// message table (ErrorCode). The message ends in " - Native error: " and the code in five digits.
#pragma once

#include <string>
#include <vector>

#include "platform/Exception.h"

namespace varnel {

class EZipException : public Exception {
 public:
  // args fill the message's "%s" / "%d" places in order; a non-empty componentName is put in
  // front as "name: text".
  explicit EZipException(int nativeError, const std::vector<std::string>& args = {},
                         const std::string& componentName = {});
  int NativeError() const { return nativeError_; }
  int ErrorCode() const { return errorCode_; }
  const char* ClassName() const override { return "EZipException"; }

 private:
  int nativeError_;
  int errorCode_;
};

// Raised when zlib's inflate cannot be set up; not an EZipException, so it ends the run.
VARNEL_EXCEPTION(EDecompressionError, Exception);

// The message table index paired with a raise-site code (0 for an unknown code).
int ZipErrorCodeFor(int nativeError);
// The text of a message table index, with its "%s" / "%d" places unfilled.
const char* ZipErrorMessage(int errorCode);

}  // namespace varnel
