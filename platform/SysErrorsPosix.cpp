#include <sys/stat.h>

#include <cerrno>

#include "platform/Paths.h"
#include "platform/SysErrors.h"

namespace varnel {

int SystemErrorFromErrno(int err, const std::string& path) {
  switch (err) {
    case ENOENT: {
      if (path.empty()) return 2;
      struct stat st {};
      std::string parent = ExtractFileDir(path);
      return (parent.empty() || ::stat(parent.c_str(), &st) == 0) ? 2 : 3;
    }
    case ENOTDIR:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
      return 5;
    case EBADF:
      return 6;
    case ENOMEM:
      return 8;
    case EROFS:
      return 19;
    case EIO:
      return 23;
    case EBUSY:
    case ETXTBSY:
      return 32;
    case EXDEV:
      return 17;
    case EINVAL:
      return 87;
    case ENOSYS:
    case EOPNOTSUPP:
    case ENOLCK:
      return 50;
    case ENOSPC:
    case EDQUOT:
      return 112;
    case ENOTEMPTY:
      return 145;
    case EEXIST:
      return 183;
    case EISDIR:
      return 5;
    case ENAMETOOLONG:
      return 206;
    case ELOOP:
      return 1921;
    case EFBIG:
      return 223;
    default:
      return 1359;  // an internal error occurred
  }
}

std::string SystemErrorMessage(int systemError) {
  switch (systemError) {
    case 2:
      return "The system cannot find the file specified";
    case 3:
      return "The system cannot find the path specified";
    case 4:
      return "The system cannot open the file";
    case 5:
      return "Access is denied";
    case 6:
      return "The handle is invalid";
    case 8:
      return "Not enough memory resources are available to process this command";
    case 17:
      return "The system cannot move the file to a different disk drive";
    case 19:
      return "The media is write protected";
    case 23:
      return "Data error (cyclic redundancy check)";
    case 32:
      return "The process cannot access the file because it is being used by another process";
    case 50:
      return "The request is not supported";
    case 87:
      return "The parameter is incorrect";
    case 112:
      return "There is not enough space on the disk";
    case 145:
      return "The directory is not empty";
    case 183:
      return "Cannot create a file when that file already exists";
    case 206:
      return "The filename or extension is too long";
    case 223:
      return "The file size exceeds the limit allowed and cannot be saved";
    case 1921:
      return "The name of the file cannot be resolved by the system";
    default:
      return "An internal error occurred";
  }
}

}  // namespace varnel
