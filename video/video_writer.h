// Writes 24-bit Dibs as the frames of a video file (AVI unless the file name says otherwise),
// used to make clips for tests and from the command-line tool. Pictures are stored upright
// whatever the orientation of the Dib.
#pragma once

#include <memory>
#include <string>

#include "core/dib.h"
#include "core/result.h"

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

  // Creates the file for width x height frames (within the size limits) at the frame rate. The
  // message names the file and the problem when the file or the encoder cannot be set up.
  Result Open(const std::string& path, int width, int height, int framesPerSecond,
              VideoCodec codec);
  // Encodes one frame; it must be 24-bit and of the size given to Open.
  Result Write(const Dib& frame);
  // Leaves `count` frame times without a picture; AVI records them as dropped (empty) frames.
  Result Skip(int count);
  // Finishes the file (delayed pictures, index, header counts); fails when it could not be
  // completed. Harmless when nothing is open.
  Result Close();

  bool IsOpen() const { return state_ != nullptr; }

 private:
  struct State;  // FFmpeg state, kept out of this header
  // The problem for the file; the writer is closed.
  Result Fail(const std::string& problem);
  Result Problem(const std::string& problem) const;
  Result Encode(bool flush);

  std::unique_ptr<State> state_;
  std::string path_;
};

}  // namespace fw
