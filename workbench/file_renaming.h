// Renaming the JPEG pictures of a folder after their time stamps, so that pictures collected from
// cameras and videos sort by time and no longer clash by name when folders are merged.
//
// The folder is listed first (names ending in ".jpg" in any case, plain files only), then each
// picture gets "BB%Y-%m-%d %H.%M.%S.jpg" of its last-modification time in local time. Every move
// is a no-replace move, so no picture is ever lost to a clash: when the new name is taken the
// user is told "文件改名失败！\r\n可能重名再试一次!" and the picture gets the retry name (the new
// name without "jpg", followed by its old name), then, if that is taken too, the new name with a
// number " (2)", " (3)", ... before ".jpg". A picture that can be given no name at all ends the
// run with "文件改名失败！" (files not yet reached keep their names). A picture that already
// carries one of these names for its own time stamp keeps it, so a second run renames nothing.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace fw {

// The time-stamp name of a modification time, in local time.
std::string TimeStampName(std::time_t modified);
// The retry name: the new full path without its last three characters, followed by the old name.
std::string RetryName(const std::string& newPath, const std::string& oldName);

enum class RenameOutcome {
  Renamed,  // moved to its time-stamp name, the retry name or a numbered name
  Kept,     // already named after its time stamp (its own name, a retry or numbered name)
  Failed,   // its status could not be read, or it could be given no name
};

struct RenameRecord {
  std::string from;  // old name, in the folder
  std::string to;    // new name (empty unless renamed)
  RenameOutcome outcome = RenameOutcome::Kept;
  std::string problem;  // why it failed
};

struct RenameSummary {
  std::vector<RenameRecord> records;  // in the order of the listing
  int renamed = 0;
  int kept = 0;
  int failed = 0;
  bool stopped = false;  // a picture could be given no name: the rest were not reached
  std::string error;     // the folder could not be listed
};

// Renames the pictures of `folder`. With `dryRun` nothing is moved and no message is shown: the
// records say what would be done. The messages of a real run go to the UI sink.
RenameSummary RenameJpegFilesByTime(const std::string& folder, bool dryRun);

// "renamed=R kept=K failed=F" (and " stopped" when the run ended early).
std::string SummaryLine(const RenameSummary& summary);

}  // namespace fw
