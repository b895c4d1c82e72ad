#include "video/ffmpeg_util.h"

#include <algorithm>
#include <cctype>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace fw::video_detail {

namespace {
constexpr int kIoBufferSize = 32768;
}  // namespace

void SilenceVideoLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

AVPixelFormat PlainFormat(AVPixelFormat format, bool* fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
      *fullRange = true;
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      *fullRange = true;
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      *fullRange = true;
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      *fullRange = true;
      return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
      *fullRange = true;
      return AV_PIX_FMT_YUV411P;
    default:
      return format;
  }
}

int SwsColourSpace(int space) {
  switch (space) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
      return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG:
      return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE170M:
      return SWS_CS_SMPTE170M;
    case AVCOL_SPC_SMPTE240M:
      return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    default:
      return SWS_CS_DEFAULT;
  }
}

std::string PictureKind(const AVFormatContext* format, const AVCodecParameters* par) {
  const std::string name = format->iformat->name;
  const bool pipe = name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0;
  if (!pipe && name != "image2") return {};
  std::string kind = pipe ? name.substr(0, name.size() - 5) : avcodec_get_name(par->codec_id);
  for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return kind;
}

MemoryIo::~MemoryIo() {
  if (context_ != nullptr) {
    av_freep(&context_->buffer);
    avio_context_free(&context_);
  }
}

bool MemoryIo::Open(std::span<const uint8_t> bytes) {
  bytes_ = bytes;
  position_ = 0;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (buffer != nullptr) {
    context_ = avio_alloc_context(buffer, kIoBufferSize, 0, this, Read, nullptr, Seek);
  }
  if (context_ == nullptr) av_free(buffer);
  return context_ != nullptr;
}

int MemoryIo::Read(void* opaque, uint8_t* buffer, int size) {
  auto* io = static_cast<MemoryIo*>(opaque);
  const int64_t left = static_cast<int64_t>(io->bytes_.size()) - io->position_;
  if (left <= 0) return AVERROR_EOF;
  const int n = static_cast<int>(std::min<int64_t>(left, size));
  std::memcpy(buffer, io->bytes_.data() + io->position_, static_cast<size_t>(n));
  io->position_ += n;
  return n;
}

int64_t MemoryIo::Seek(void* opaque, int64_t offset, int whence) {
  auto* io = static_cast<MemoryIo*>(opaque);
  const auto size = static_cast<int64_t>(io->bytes_.size());
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return size;
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += io->position_;
      break;
    case SEEK_END:
      offset += size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < 0 || offset > size) return AVERROR(EINVAL);
  io->position_ = offset;
  return offset;
}

}  // namespace fw::video_detail
