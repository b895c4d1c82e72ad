// Small helpers shared by the FFmpeg-based reader and writer; used inside video/ only.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/pixfmt.h>
}

namespace fw::video_detail {

// FFmpeg's own log would print from inside the engine; problems reach the user as values.
void SilenceVideoLibraryLog();
// FFmpeg's text for an error code ("No such file or directory").
std::string AvErrorText(int code);
// Full-range YUV formats are the plain formats with the range given separately to swscale.
AVPixelFormat PlainFormat(AVPixelFormat format, bool* fullRange);
// swscale's colour space (SWS_CS_...) for an AVColorSpace value.
int SwsColourSpace(int space);

// A C enum field as its integer: a damaged stream can leave a value no enumerator names there,
// which C++ must not load as the enum type.
template <typename Enum>
int RawValue(const Enum& field) {
  static_assert(sizeof(Enum) == sizeof(int));
  int value = 0;
  std::memcpy(&value, &field, sizeof value);
  return value;
}

// The demuxers that read one still picture ("png_pipe", "image2", ...) give "PNG" and the like;
// empty for a video demuxer.
std::string PictureKind(const AVFormatContext* format, const AVCodecParameters* par);

// An FFmpeg I/O context over bytes in memory, which must outlive it.
class MemoryIo {
 public:
  MemoryIo() = default;
  ~MemoryIo();
  MemoryIo(const MemoryIo&) = delete;
  MemoryIo& operator=(const MemoryIo&) = delete;
  // False when the context cannot be allocated.
  bool Open(std::span<const uint8_t> bytes);
  AVIOContext* Context() const { return context_; }

 private:
  static int Read(void* opaque, uint8_t* buffer, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);

  std::span<const uint8_t> bytes_;
  int64_t position_ = 0;
  AVIOContext* context_ = nullptr;
};

}  // namespace fw::video_detail
