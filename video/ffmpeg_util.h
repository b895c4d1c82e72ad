// Small helpers shared by the FFmpeg-based reader and writer; used inside video/ only.
#pragma once

#include <string>

namespace fw::video_detail {

// FFmpeg's own log would print from inside the engine; problems reach the user as values.
void SilenceVideoLibraryLog();
// FFmpeg's text for an error code ("No such file or directory").
std::string AvErrorText(int code);

}  // namespace fw::video_detail
