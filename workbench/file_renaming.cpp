#include "workbench/file_renaming.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

#include "core/ui_sink.h"

namespace fw {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRetryText = "文件改名失败！\r\n可能重名再试一次!";
constexpr const char* kRetryCaption = "文件改名失败！";
constexpr const char* kStopText = "文件改名失败！";
constexpr const char* kStopCaption = "文件改名失败！\r\n退出!";
constexpr int kLastNumber = 999;  // numbered names tried: " (2)" .. " (999)"

bool IsJpegName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".jpg";
}

// Moves `from` to `to` in the same folder, never replacing an existing file. Returns 0 or the
// errno of the failure (EEXIST when the name is taken).
int MoveNoReplace(const fs::path& from, const fs::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  const int error = errno;
  if (error != EINVAL && error != ENOSYS) return error;
  // A file system without the flag: a hard link refuses an existing name, then the old name goes.
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  if (unlink(from.c_str()) != 0) {
    const int unlinkError = errno;
    unlink(to.c_str());
    return unlinkError;
  }
  return 0;
}

// The names a picture may get, in the order they are tried.
std::vector<std::string> CandidateNames(const std::string& stampName, const std::string& oldName,
                                        const fs::path& folder) {
  std::vector<std::string> names;
  names.push_back(stampName);
  names.push_back(fs::path(RetryName((folder / stampName).string(), oldName)).filename().string());
  const std::string stem = stampName.substr(0, stampName.size() - 4);
  for (int k = 2; k <= kLastNumber; ++k) names.push_back(stem + " (" + std::to_string(k) + ").jpg");
  return names;
}

// The picture carries a name this tool gives for its time stamp: the time-stamp name itself, a
// retry name or a numbered name.
bool NamedAfterStamp(const std::string& name, const std::string& stampName) {
  const std::string stem = stampName.substr(0, stampName.size() - 4);  // without ".jpg"
  if (name == stampName) return true;
  if (name.size() <= stem.size() || name.compare(0, stem.size(), stem) != 0) return false;
  const char next = name[stem.size()];
  return next == '.' ||
         (next == ' ' && name.size() > stem.size() + 1 && name[stem.size() + 1] == '(');
}

}  // namespace

std::string TimeStampName(std::time_t modified) {
  std::tm local{};
  localtime_r(&modified, &local);
  char text[64];
  const size_t n = std::strftime(text, sizeof text, "BB%Y-%m-%d %H.%M.%S.jpg", &local);
  return std::string(text, n);
}

std::string RetryName(const std::string& newPath, const std::string& oldName) {
  return newPath.substr(0, newPath.size() >= 3 ? newPath.size() - 3 : 0) + oldName;
}

RenameSummary RenameJpegFilesByTime(const std::string& folder, bool dryRun) {
  RenameSummary summary;
  const fs::path dir(folder);
  std::vector<std::string> pictures;
  std::set<std::string> taken;  // every name in the folder, for the dry run
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    taken.insert(name);
    std::error_code typeError;
    if (IsJpegName(name) && it->is_regular_file(typeError)) pictures.push_back(name);
  }
  if (ec) {
    summary.error = folder + ": cannot list the folder (" + ec.message() + ")";
    return summary;
  }
  for (const std::string& name : pictures) {
    RenameRecord record;
    record.from = name;
    struct stat status {};
    const fs::path from = dir / name;
    if (stat(from.c_str(), &status) != 0) {
      record.outcome = RenameOutcome::Failed;
      record.problem = std::strerror(errno);
      ++summary.failed;
      summary.records.push_back(record);
      continue;
    }
    const std::string stampName = TimeStampName(status.st_mtime);
    if (NamedAfterStamp(name, stampName)) {
      ++summary.kept;
      summary.records.push_back(record);
      continue;
    }
    int error = EEXIST;
    bool told = false;
    for (const std::string& candidate : CandidateNames(stampName, name, dir)) {
      if (dryRun) {
        error = taken.count(candidate) ? EEXIST : 0;
      } else {
        error = MoveNoReplace(from, dir / candidate);
      }
      if (error == 0) {
        record.to = candidate;
        break;
      }
      if (error != EEXIST) break;
      if (!told && !dryRun) {
        CurrentUiSink().Message(kRetryText, kRetryCaption, MessageButtons::OkCancel);
        told = true;
      }
    }
    if (error != 0) {
      record.outcome = RenameOutcome::Failed;
      record.problem = error == EEXIST ? "every name is taken" : std::strerror(error);
      ++summary.failed;
      summary.records.push_back(record);
      if (!dryRun) CurrentUiSink().Message(kStopText, kStopCaption, MessageButtons::OkCancel);
      summary.stopped = true;
      break;
    }
    record.outcome = RenameOutcome::Renamed;
    ++summary.renamed;
    taken.erase(name);
    taken.insert(record.to);
    summary.records.push_back(record);
  }
  return summary;
}

std::string SummaryLine(const RenameSummary& summary) {
  std::string line = "renamed=" + std::to_string(summary.renamed) +
                     " kept=" + std::to_string(summary.kept) +
                     " failed=" + std::to_string(summary.failed);
  if (summary.stopped) line += " stopped";
  return line;
}

}  // namespace fw
