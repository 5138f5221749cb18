// The root of every failure the program reports, and the families the platform layer raises.
// Exceptions carry UTF-8 text; ClassName() is the system's class name shown by the tools.
#pragma once

#include <exception>
#include <string>

namespace varnel {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

// Declares an exception family member that adds nothing but its class name.
#define VARNEL_EXCEPTION(Name, Base)                         \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

// Silent abort: never shown by the default error box.
VARNEL_EXCEPTION(EAbort, Exception);

// Run-time I/O failure keyed by a system error number ("File access denied", "I/O error 183").
class EInOutError : public Exception {
 public:
  explicit EInOutError(int errorCode);
  int ErrorCode() const { return errorCode_; }
  const char* ClassName() const override { return "EInOutError"; }

 private:
  int errorCode_;
};

// A list read outside its bounds: "List index out of bounds (%d)".
class EStringListError : public Exception {
 public:
  explicit EStringListError(long long index);
  const char* ClassName() const override { return "EStringListError"; }
};

VARNEL_EXCEPTION(EStreamError, Exception);
VARNEL_EXCEPTION(EFCreateError, EStreamError);  // "Cannot create file "%s". %s"
VARNEL_EXCEPTION(EFOpenError, EStreamError);    // "Cannot open file "%s". %s"
VARNEL_EXCEPTION(EReadError, EStreamError);     // "Stream read error"
VARNEL_EXCEPTION(EWriteError, EStreamError);    // "Stream write error"
VARNEL_EXCEPTION(EOSError, Exception);  // a system call failed; message is the system's text

// The text of the run-time I/O error table for a system error number.
std::string InOutErrorText(int errorCode);

}  // namespace varnel
