// Writes 24-bit Dibs as the frames of a video file (AVI unless the file name says otherwise),
// used to make clips for tests and from the command-line tool. Pictures are stored upright
// whatever the orientation of the Dib.
#pragma once

#include <memory>
#include <string>

#include "core/dib.h"

namespace fw {

enum class VideoCodec {
  RawBgr24,      // uncompressed, byte exact
  Mjpeg,         // Motion JPEG, every frame a keyframe
  Mpeg4,         // MPEG-4 part 2, a keyframe every 12 frames, no B-frames
  Mpeg4BFrames,  // as Mpeg4 with two B-frames between reference frames (decoded out of order)
};

class VideoWriter {
 public:
  VideoWriter();
  ~VideoWriter();  // closes the file
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Creates the file for width x height frames at the frame rate. Returns false with
  // LastError() set when the file or the encoder cannot be set up.
  bool Open(const std::string& path, int width, int height, int framesPerSecond, VideoCodec codec);
  // Encodes one frame; it must be 24-bit and of the size given to Open.
  bool Write(const Dib& frame);
  // Leaves `count` frame times without a picture; AVI records them as dropped (empty) frames.
  bool Skip(int count);
  // Finishes the file (delayed pictures, index, header counts). Returns false when it could not
  // be completed. Harmless when nothing is open.
  bool Close();

  bool IsOpen() const { return state_ != nullptr; }
  const std::string& LastError() const { return lastError_; }

 private:
  struct State;  // FFmpeg state, kept out of this header
  bool Fail(const std::string& problem);
  bool Encode(bool flush);

  std::unique_ptr<State> state_;
  std::string path_;
  std::string lastError_;
};

}  // namespace fw
