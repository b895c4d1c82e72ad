#include "video/capture_address.h"

#include <algorithm>
#include <cctype>

#include "video/simulated_card.h"
#include "video/stream_capture.h"
#include "video/v4l2_capture.h"

namespace fw {

namespace {

constexpr std::string_view kStreamSchemes[] = {"rtsp", "http", "https", "tcp", "udp"};
constexpr std::string_view kAccepted =
    "use sim:, sim:FILE, /dev/videoN or an rtsp, http, https, "
    "tcp or udp URL";

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

Result ParseCaptureAddress(std::string_view text, CaptureAddress& address) {
  const std::string shown(text);
  if (text.empty()) return Result::Error("no live source given (" + std::string(kAccepted) + ")");
  if (text.starts_with("sim:")) {
    // The card replays files; a stream read without the network source's timeouts could hang.
    if (text.find("://") != std::string_view::npos) {
      return Result::Error(RedactUrl(text) +
                           ": the simulated card replays files (give a "
                           "stream's URL without sim:)");
    }
    address = {CaptureKind::Simulated, std::string(text.substr(4))};
    return Result::Ok();
  }
  if (text.starts_with("/dev/")) {
    const std::string_view node = text.substr(5);
    if ((node.starts_with("video") && AllDigits(node.substr(5))) ||
        (node.starts_with("v4l/") && node.size() > 4)) {
      address = {CaptureKind::Device, shown};
      return Result::Ok();
    }
    return Result::Error(shown + ": not a video device name (use /dev/videoN)");
  }
  if (const size_t colon = text.find("://"); colon != std::string_view::npos) {
    const std::string scheme = Lower(text.substr(0, colon));
    if (std::find(std::begin(kStreamSchemes), std::end(kStreamSchemes), scheme) ==
        std::end(kStreamSchemes)) {
      return Result::Error(RedactUrl(text) + ": streams of the " + scheme +
                           " kind are not taken (use an rtsp, http, https, tcp or udp URL)");
    }
    const std::string_view rest = text.substr(colon + 3);
    if (rest.empty() || rest.front() == '/') {
      return Result::Error(RedactUrl(text) + ": the URL names no host");
    }
    address = {CaptureKind::Stream, scheme + "://" + std::string(rest)};
    return Result::Ok();
  }
  return Result::Error(shown + ": not a live source (replay a video file with sim:" + shown +
                       "; otherwise " + std::string(kAccepted) + ")");
}

std::unique_ptr<CaptureSource> MakeCaptureSource(const CaptureAddress& address,
                                                 const CaptureOptions& options) {
  switch (address.kind) {
    case CaptureKind::Device:
      return std::make_unique<V4l2Capture>(address.location, options);
    case CaptureKind::Stream:
      return std::make_unique<StreamCapture>(address.location, options);
    case CaptureKind::Simulated:
      break;
  }
  return std::make_unique<SimulatedCard>(address.location);
}

}  // namespace fw
