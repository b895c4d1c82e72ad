// What the chunk structure of an AVI file says beside FFmpeg's demuxer: the bytes of the file
// read at any place (a file on disk or bytes in memory), and the chunks the demuxer passed over
// between two it delivered, so that a chunk whose header is broken still counts as a frame.
// Used inside video/ only.
#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>

namespace fw::video_detail {

// A chunk header: four-character id and 32-bit size.
inline constexpr int kChunkHeader = 8;

// The bytes of a video file, read independently of the demuxer's position.
class VideoBytes {
 public:
  // A file on disk; Size() is 0 when it cannot be read.
  void UseFile(const std::string& path);
  // Bytes in memory, which must outlive this object's use of them.
  void UseMemory(std::span<const uint8_t> bytes);
  int64_t Size() const { return size_; }
  // Copies `count` bytes from `pos`; false when they are not all in the file.
  bool ReadAt(int64_t pos, uint8_t* out, int count);

 private:
  std::ifstream file_;
  std::span<const uint8_t> memory_;
  bool inMemory_ = false;
  int64_t size_ = 0;
};

// The video chunks with data between two chunk headers at `from` and `to` that the demuxer did
// not deliver: chunks of other streams, JUNK, indexes and empty (dropped) frames are walked over.
// A chunk with a broken id but a size that fits is one lost chunk; a broken size counts one more
// and ends the walk (the demuxer searched past its remains for the next header).
int64_t LostChunksBetween(VideoBytes& bytes, int64_t from, int64_t to);

}  // namespace fw::video_detail
