// The offline frame source: a video file opened through FFmpeg, any container and codec it decodes,
// read frame by frame into a 24-bit bottom-up Dib. Frames are addressed by index; reading the next
// frame decodes forward, a jump seeks to the keyframe before it and decodes forward, and the frame
// at an index is the same byte for byte either way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/dib.h"
#include "video/frame_source.h"

namespace fw {

// How a failed open is reported besides LastError(): the desktop shows the "Avi Error!" box,
// the command-line tool prints the one-line reason itself.
enum class OpenReport { MessageBox, Quiet };

class AviReader : public FrameSource {
 public:
  AviReader();
  ~AviReader();
  AviReader(const AviReader&) = delete;
  AviReader& operator=(const AviReader&) = delete;
  AviReader(AviReader&&) noexcept;
  AviReader& operator=(AviReader&&) noexcept;

  // Opens a video file and makes its first video stream the frame source. The current frame is 0
  // afterwards whatever happens. On failure the reader is closed, keeps the previous file's
  // width, height, pixel count, frame count and frame rate, every GetFrame returns false until a
  // file opens, LastError() says why, and (MessageBox) "Avi Error!" goes to the UI sink.
  bool Open(const std::string& path, OpenReport report = OpenReport::MessageBox);
  // Open, then re-creates the image as a black 24-bit bottom-up width x height image (when the
  // reader has a size), ready to receive frames.
  bool OpenInto(const std::string& path, Dib& image, OpenReport report = OpenReport::MessageBox);
  // Copies frame `index` into the image as bottom-up rows with zeroed padding. The image must be
  // 24-bit with the reader's width and height. Returns false and leaves the image unchanged when
  // no file is open, the index is outside 0..FrameCount()-1 or the frame cannot be decoded.
  bool GetFrame(int index, Dib& image) override;
  // Releases the file and the decoder; the numbers stay. Harmless on a closed reader.
  void Close();

  bool IsOpen() const;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int PixelCount() const { return pixelCount_; }
  int FrameCount() const override { return frameCount_; }
  double FramesPerSecond() const { return framesPerSecond_; }
  int CurrentFrame() const { return currentFrame_; }
  void SetCurrentFrame(int frame) { currentFrame_ = frame; }
  const std::string& Path() const { return path_; }
  void SetPath(const std::string& path) { path_ = path; }
  // One line naming the file and the problem of the last failed Open; empty after a good one.
  const std::string& LastError() const { return lastError_; }

 private:
  struct Decoder;  // FFmpeg state, kept out of this header

  int height_ = 0;
  int width_ = 0;
  int pixelCount_ = 0;
  int frameCount_ = 0;
  double framesPerSecond_ = 0.0;
  int currentFrame_ = 0;
  std::string path_;
  std::string lastError_;
  std::unique_ptr<Decoder> decoder_;
};

}  // namespace fw
