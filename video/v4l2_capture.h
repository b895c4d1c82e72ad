// V4L2 cameras and capture cards (/dev/videoN): the device's pictures, in any of the layouts
// the decoder below takes, converted to capture frames. The requested rate is asked of the
// device where it lets its frame interval be set; otherwise frames come at the device's rate.
// Pictures arrive through memory-mapped streaming buffers; a wait for the next one is bounded
// by the read timeout and ends at once on Stop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "video/capture_converter.h"
#include "video/capture_source.h"

namespace fw {

struct CaptureDevice {
  std::string path;  // "/dev/video0"
  std::string card;  // the device's own name
  std::string driver;
  std::string bus;
};

// The video capture devices in `folder`, by number; nodes that capture no pictures (the
// metadata nodes of cameras, output devices) are left out.
std::vector<CaptureDevice> ListCaptureDevices(const std::string& folder = "/dev");

// One picture of a V4L2 buffer into a capture frame: packed 4:2:2 (YUYV, UYVY, YVYU), planar
// and semi-planar 4:2:0 (YU12, YV12, NV12, NV21), planar 4:2:2, RGB and BGR, grey, and Motion
// JPEG. Buffers are checked against the picture's size before they are read.
class V4l2PictureDecoder {
 public:
  V4l2PictureDecoder();
  ~V4l2PictureDecoder();
  V4l2PictureDecoder(const V4l2PictureDecoder&) = delete;
  V4l2PictureDecoder& operator=(const V4l2PictureDecoder&) = delete;

  // What the device said about its pictures.
  struct Format {
    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;    // 0: rows are packed
    size_t maxBytes = 0;     // the largest compressed picture
    bool fullRange = false;  // YUV luma 0..255 instead of 16..235
    bool bt709 = false;      // BT.709 colour instead of BT.601
  };

  static bool Supports(uint32_t fourcc);
  // Prepares for pictures of this format. False for a format or size it does not take.
  bool Prepare(const Format& format);
  // False, the frame untouched, when the buffer is too short for the picture or a compressed
  // picture does not decode.
  bool Decode(const uint8_t* data, size_t bytes, uint8_t* frame);

 private:
  struct Jpeg;  // the Motion JPEG decoder, kept out of this header
  Format format_;
  CaptureConverter converter_;
  std::unique_ptr<Jpeg> jpeg_;
};

// The four characters of a pixel format ("YUYV").
std::string FourccText(uint32_t fourcc);

class V4l2Capture final : public CaptureSource {
 public:
  explicit V4l2Capture(std::string device, CaptureOptions options = {});
  ~V4l2Capture() override;

  CaptureParameters Parameters() const override { return parameters_; }

 protected:
  Result OpenSource() override;
  Result StartStream(int framesPerSecond) override;
  Grab GrabFrame(uint8_t* frame, Clock::time_point* time) override;
  void Interrupt() override;
  void StopStream() override;
  void CloseSource() override;

 private:
  struct Mapping {
    void* start = nullptr;
    size_t length = 0;
  };
  Result ChooseFormat();
  Result MapBuffers();
  void ReadSettings();

  std::string device_;
  CaptureOptions options_;
  int fd_ = -1;
  int wake_ = -1;  // an eventfd that Interrupt signals
  bool canSetRate_ = false;
  std::vector<Mapping> buffers_;
  V4l2PictureDecoder decoder_;
  CaptureParameters parameters_;
  Clock::time_point lastPicture_{};
};

}  // namespace fw
