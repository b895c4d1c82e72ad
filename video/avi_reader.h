// The offline frame source: a video file opened through FFmpeg, any container and codec it decodes,
// read frame by frame into a 24-bit bottom-up Dib. Frames are addressed by index; reading the next
// frame decodes forward, a jump seeks to the keyframe before it and decodes forward, and the frame
// at an index is the same byte for byte either way.
//
// Frame numbers are those of the file. In an AVI file frame i is chunk i of the video stream,
// found through the index when it agrees with the header, else by one pass over the chunks. A
// damaged frame (a chunk whose header or data is broken, a packet the demuxer marks corrupt, a
// picture the decoder cannot make) keeps its number: the source delivers the picture of the last
// good frame before it (the first good one for damaged frames at the start), counts it and
// reports success.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/dib.h"
#include "core/result.h"
#include "video/frame_source.h"

namespace fw {

// How a failed open is reported besides the result: the desktop shows the "Avi Error!" box, the
// command-line tool prints the one-line reason itself.
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
  // afterwards whatever happens. On failure the result names the file and the problem, the reader
  // is closed, keeps the previous file's width, height, pixel count, frame count and frame rate,
  // every GetFrame returns false until a file opens, and (MessageBox) "Avi Error!" goes to the UI
  // sink. A file whose frames are beyond the size limits, a picture file, a folder or a FIFO is
  // refused; so is a video none of whose frames can be decoded.
  Result Open(const std::string& path, OpenReport report = OpenReport::MessageBox);
  // The same over the bytes of a file held in memory (they must outlive the reader's use of
  // them); `name` stands for the file in messages.
  Result OpenMemory(std::span<const uint8_t> bytes, const std::string& name,
                    OpenReport report = OpenReport::Quiet);
  // Open, then re-creates the image as a black 24-bit bottom-up width x height image (when the
  // reader has a size), ready to receive frames.
  Result OpenInto(const std::string& path, Dib& image, OpenReport report = OpenReport::MessageBox);
  // Copies frame `index` into the image as bottom-up rows with zeroed padding (for a damaged
  // frame, the picture of the good frame before it). The image must be 24-bit with the reader's
  // width and height. Returns false and leaves the image unchanged only when no file is open, the
  // index is outside 0..FrameCount()-1 or the image has another format.
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
  // The damaged frames found so far, in order: those the open found (chunks whose header is
  // broken), then those whose picture could not be decoded when they were read.
  std::vector<int> DamagedFrames() const;

 private:
  struct Decoder;  // FFmpeg state, kept out of this header
  // Takes the numbers of a decoder that has opened its file.
  Result Adopt(std::unique_ptr<Decoder> decoder, const std::string& name);

  int height_ = 0;
  int width_ = 0;
  int pixelCount_ = 0;
  int frameCount_ = 0;
  double framesPerSecond_ = 0.0;
  int currentFrame_ = 0;
  std::string path_;
  std::unique_ptr<Decoder> decoder_;
};

// "33, 61-63, 200" for the frames 33, 61, 62, 63 and 200: at most `limit` ranges, then ", ...".
std::string FrameRanges(const std::vector<int>& frames, size_t limit = 20);

}  // namespace fw
