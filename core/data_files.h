// Where the system's own files live. The start directory is the working directory at start-up
// (with a trailing "/"): reports, alarm logs and learned classifiers are written there, and the
// files that come with the system are looked up there first, then in the data directory of the
// build or install tree.
#pragma once

#include <string>

namespace fw {

// The start directory, always ending in "/". Set once by the front end at start-up (and again
// when the control bar re-initialises); defaults to the working directory.
const std::string& StartDirectory();
void SetStartDirectory(const std::string& directory);

// The data directory of the build or install tree: the FUMEWATCH_DATA_DIR environment variable
// when set, else data/ beside the executable's bin/ folder, else the directory compiled in.
std::string DataDirectory();

// Full path of a file that comes with the system: the start directory's copy when it exists,
// else the data directory's. Returns the data directory's path when neither exists, so that the
// caller's error message names a sensible place.
std::string FindDataFile(const std::string& name);

}  // namespace fw
