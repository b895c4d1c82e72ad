// Small helpers shared by the FFmpeg-based reader and writer; used inside video/ only.
#pragma once

#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace fw::video_detail {

// FFmpeg's own log would print from inside the engine; problems reach the user as values.
void SilenceVideoLibraryLog();
// FFmpeg's text for an error code ("No such file or directory").
std::string AvErrorText(int code);
// The full-range YUV formats are the plain formats with the range told to swscale apart:
// returns the plain format and sets *fullRange for a full-range one.
AVPixelFormat PlainFormat(AVPixelFormat format, bool* fullRange);
// swscale's colour-space constant for a frame's colour space (BT.601 when it says nothing).
int SwsColourSpace(AVColorSpace space);

}  // namespace fw::video_detail
