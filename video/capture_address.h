// The live source a user names, on the command line or in the desktop's source chooser:
//   sim:            the simulated card's moving test pattern (the default)
//   sim:FILE        the simulated card replaying a video file
//   /dev/videoN     a V4L2 camera or capture card (also the /dev/v4l/ names of devices)
//   URL             a network stream: rtsp://, http://, https://, tcp:// or udp://
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/result.h"
#include "video/capture_source.h"

namespace fw {

enum class CaptureKind { Simulated, Device, Stream };

struct CaptureAddress {
  CaptureKind kind = CaptureKind::Simulated;
  std::string location;  // the file (empty: the test pattern), the device or the URL
};

constexpr std::string_view kDefaultCaptureAddress = "sim:";

// Reads a source's name into `address`; on failure the message names the text and says what is
// accepted, and `address` is left as it was.
Result ParseCaptureAddress(std::string_view text, CaptureAddress& address);
// The source for a parsed name, not yet open.
std::unique_ptr<CaptureSource> MakeCaptureSource(const CaptureAddress& address,
                                                 const CaptureOptions& options = {});

}  // namespace fw
