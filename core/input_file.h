// What every reader checks before it opens a file: that the path names a regular file. A folder,
// a FIFO (opening one waits for a writer), a device or a socket is refused with a message.
#pragma once

#include <string>

#include "core/result.h"

namespace fw {

// Success for a regular file (a symbolic link to one is followed); otherwise the problem, without
// the path ("is a directory", "is a FIFO, not a regular file", "No such file or directory").
Result CheckInputFile(const std::string& path);

}  // namespace fw
