#include "core/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace fw {

Result CheckInputFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Result::Error(std::strerror(errno));
  if (S_ISREG(st.st_mode)) return Result::Ok();
  if (S_ISDIR(st.st_mode)) return Result::Error("is a directory");
  const char* kind = S_ISFIFO(st.st_mode)   ? "a FIFO"
                     : S_ISCHR(st.st_mode)  ? "a character device"
                     : S_ISBLK(st.st_mode)  ? "a block device"
                     : S_ISSOCK(st.st_mode) ? "a socket"
                                            : "a special file";
  return Result::Error(std::string("is ") + kind + ", not a regular file");
}

}  // namespace fw
