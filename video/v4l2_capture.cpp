#include "video/v4l2_capture.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "video/ffmpeg_util.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace fw {

namespace {

constexpr int kMaxDimension = 16384;
constexpr unsigned kBufferCount = 4;

// How a layout's bytes lie in a buffer.
enum class Planes { Packed, Yuv420, Yvu420, SemiPlanar420, Yuv422 };

struct Layout {
  uint32_t fourcc;
  AVPixelFormat format;
  Planes planes;
  int rowBytesPerPixel;    // of the first plane
  int frameNum, frameDen;  // the picture's bytes: bytesPerLine x height x frameNum / frameDen
};

// In the order a format is chosen when the device offers several: the cheapest to convert
// first, Motion JPEG last.
constexpr Layout kLayouts[] = {
    {V4L2_PIX_FMT_YUV420, AV_PIX_FMT_YUV420P, Planes::Yuv420, 1, 3, 2},
    {V4L2_PIX_FMT_YVU420, AV_PIX_FMT_YUV420P, Planes::Yvu420, 1, 3, 2},
    {V4L2_PIX_FMT_NV12, AV_PIX_FMT_NV12, Planes::SemiPlanar420, 1, 3, 2},
    {V4L2_PIX_FMT_NV21, AV_PIX_FMT_NV21, Planes::SemiPlanar420, 1, 3, 2},
    {V4L2_PIX_FMT_YUYV, AV_PIX_FMT_YUYV422, Planes::Packed, 2, 1, 1},
    {V4L2_PIX_FMT_UYVY, AV_PIX_FMT_UYVY422, Planes::Packed, 2, 1, 1},
    {V4L2_PIX_FMT_YVYU, AV_PIX_FMT_YVYU422, Planes::Packed, 2, 1, 1},
    {V4L2_PIX_FMT_YUV422P, AV_PIX_FMT_YUV422P, Planes::Yuv422, 1, 2, 1},
    {V4L2_PIX_FMT_BGR24, AV_PIX_FMT_BGR24, Planes::Packed, 3, 1, 1},
    {V4L2_PIX_FMT_RGB24, AV_PIX_FMT_RGB24, Planes::Packed, 3, 1, 1},
    {V4L2_PIX_FMT_GREY, AV_PIX_FMT_GRAY8, Planes::Packed, 1, 1, 1},
    {V4L2_PIX_FMT_MJPEG, AV_PIX_FMT_NONE, Planes::Packed, 0, 0, 1},
    {V4L2_PIX_FMT_JPEG, AV_PIX_FMT_NONE, Planes::Packed, 0, 0, 1},
};

const Layout* FindLayout(uint32_t fourcc) {
  for (const Layout& l : kLayouts) {
    if (l.fourcc == fourcc) return &l;
  }
  return nullptr;
}

int Ioctl(int fd, unsigned long request, void* argument) {
  int r;
  do {
    r = ::ioctl(fd, request, argument);
  } while (r < 0 && errno == EINTR);
  return r;
}

std::string ErrnoText(int error) {
  return std::strerror(error);
}

std::string CString(const uint8_t* text, size_t size) {
  const auto* begin = reinterpret_cast<const char*>(text);
  return std::string(begin, strnlen(begin, size));
}

// The capabilities of the node itself when the driver tells them apart from the device's.
uint32_t NodeCaps(const v4l2_capability& cap) {
  return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

// "/dev/video12" -> 12; -1 for other names.
int VideoNumber(const std::string& name) {
  if (!name.starts_with("video") || name.size() == 5) return -1;
  int n = 0;
  for (size_t i = 5; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || n > 100000) return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

}  // namespace

std::string FourccText(uint32_t fourcc) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    text += (c >= 32 && c < 127) ? c : '?';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::vector<CaptureDevice> ListCaptureDevices(const std::string& folder) {
  std::vector<std::pair<int, CaptureDevice>> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const int number = VideoNumber(entry.path().filename().string());
    if (number < 0) continue;
    const int fd = ::open(entry.path().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    v4l2_capability cap{};
    if (Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 && (NodeCaps(cap) & V4L2_CAP_VIDEO_CAPTURE)) {
      found.push_back(
          {number,
           {entry.path().string(), CString(cap.card, sizeof cap.card),
            CString(cap.driver, sizeof cap.driver), CString(cap.bus_info, sizeof cap.bus_info)}});
    }
    ::close(fd);
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<CaptureDevice> devices;
  for (auto& [number, device] : found) devices.push_back(std::move(device));
  return devices;
}

// --- pictures --------------------------------------------------------------------------------

struct V4l2PictureDecoder::Jpeg {
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  std::vector<uint8_t> padded;  // the decoder reads a little past the end of a picture

  ~Jpeg() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
  }
};

V4l2PictureDecoder::V4l2PictureDecoder() = default;
V4l2PictureDecoder::~V4l2PictureDecoder() = default;

bool V4l2PictureDecoder::Supports(uint32_t fourcc) {
  return FindLayout(fourcc) != nullptr;
}

bool V4l2PictureDecoder::Prepare(const Format& format) {
  const Layout* layout = FindLayout(format.fourcc);
  if (layout == nullptr || format.width <= 0 || format.height <= 0 ||
      format.width > kMaxDimension || format.height > kMaxDimension) {
    return false;
  }
  format_ = format;
  format_.bytesPerLine = std::max(format.bytesPerLine, format.width * layout->rowBytesPerPixel);
  if (layout->format != AV_PIX_FMT_NONE) {
    jpeg_.reset();
    return true;
  }
  video_detail::SilenceVideoLibraryLog();
  jpeg_ = std::make_unique<Jpeg>();
  const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
  if (decoder == nullptr) return false;
  jpeg_->codec = avcodec_alloc_context3(decoder);
  jpeg_->packet = av_packet_alloc();
  jpeg_->frame = av_frame_alloc();
  if (jpeg_->codec == nullptr || jpeg_->packet == nullptr || jpeg_->frame == nullptr) return false;
  jpeg_->codec->thread_count = 1;
  if (avcodec_open2(jpeg_->codec, decoder, nullptr) < 0) return false;
  jpeg_->padded.assign(format.maxBytes + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  return true;
}

bool V4l2PictureDecoder::Decode(const uint8_t* data, size_t bytes, uint8_t* frame) {
  const Layout* layout = FindLayout(format_.fourcc);
  if (layout == nullptr || data == nullptr) return false;
  if (layout->format == AV_PIX_FMT_NONE) {
    Jpeg& j = *jpeg_;
    if (bytes == 0 || bytes + AV_INPUT_BUFFER_PADDING_SIZE > j.padded.size()) return false;
    std::memcpy(j.padded.data(), data, bytes);
    std::memset(j.padded.data() + bytes, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    j.packet->data = j.padded.data();
    j.packet->size = static_cast<int>(bytes);
    if (avcodec_send_packet(j.codec, j.packet) < 0) return false;
    if (avcodec_receive_frame(j.codec, j.frame) < 0) return false;
    const AVFrame* f = j.frame;
    const uint8_t* planes[4] = {f->data[0], f->data[1], f->data[2], f->data[3]};
    const bool converted = converter_.FromPlanes(planes, f->linesize, f->width, f->height,
                                                 f->format, f->color_range, f->colorspace, frame);
    av_frame_unref(j.frame);
    return converted;
  }
  const int height = format_.height;
  const int bytesPerLine = format_.bytesPerLine;
  const size_t stride = static_cast<size_t>(bytesPerLine);
  const size_t lumaBytes = stride * height;
  if (bytes < lumaBytes * layout->frameNum / layout->frameDen) return false;
  const uint8_t* planes[4] = {data, nullptr, nullptr, nullptr};
  int strides[4] = {bytesPerLine, 0, 0, 0};
  switch (layout->planes) {
    case Planes::Packed:
      break;
    case Planes::Yuv420:
    case Planes::Yvu420: {
      const uint8_t* first = data + lumaBytes;
      const uint8_t* second = first + (stride / 2) * (height / 2);
      const bool swapped = layout->planes == Planes::Yvu420;
      planes[1] = swapped ? second : first;
      planes[2] = swapped ? first : second;
      strides[1] = strides[2] = bytesPerLine / 2;
      break;
    }
    case Planes::SemiPlanar420:
      planes[1] = data + lumaBytes;
      strides[1] = bytesPerLine;
      break;
    case Planes::Yuv422:
      planes[1] = data + lumaBytes;
      planes[2] = planes[1] + (stride / 2) * height;
      strides[1] = strides[2] = bytesPerLine / 2;
      break;
  }
  return converter_.FromPlanes(planes, strides, format_.width, height, layout->format,
                               format_.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG,
                               format_.bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG, frame);
}

// --- the device ------------------------------------------------------------------------------

V4l2Capture::V4l2Capture(std::string device, CaptureOptions options)
    : CaptureSource(device), device_(std::move(device)), options_(options) {}

V4l2Capture::~V4l2Capture() {
  Close();
}

Result V4l2Capture::OpenSource() {
  fd_ = ::open(device_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENODEV || error == ENXIO) {
      return Fail(CaptureFault::NoDevice, "no such device");
    }
    if (error == EACCES || error == EPERM) {
      return Fail(CaptureFault::NoDevice,
                  "permission denied (the user may need to be in the video group)");
    }
    return Fail(CaptureFault::NoDevice, "cannot open the device (" + ErrnoText(error) + ")");
  }
  Result opened = [this]() -> Result {
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISCHR(info.st_mode)) {
      return Fail(CaptureFault::NoDevice, "not a device");
    }
    v4l2_capability cap{};
    if (Ioctl(fd_, VIDIOC_QUERYCAP, &cap) != 0) {
      return Fail(CaptureFault::NoDevice, "not a V4L2 video device");
    }
    const uint32_t caps = NodeCaps(cap);
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) {
      return Fail(CaptureFault::NoDevice, (caps & V4L2_CAP_VIDEO_CAPTURE_MPLANE)
                                              ? "captures multi-planar pictures only"
                                              : "not a video capture device");
    }
    if (!(caps & V4L2_CAP_STREAMING)) {
      return Fail(CaptureFault::NoDevice, "does not stream pictures through memory buffers");
    }
    if (Result chosen = ChooseFormat(); !chosen) return chosen;
    if (Result mapped = MapBuffers(); !mapped) return mapped;
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) return Fail(CaptureFault::NoDevice, "cannot make a wake-up event");
    ReadSettings();
    return Result::Ok();
  }();
  if (!opened) CloseSource();
  return opened;
}

Result V4l2Capture::ChooseFormat() {
  std::vector<uint32_t> offered;
  for (uint32_t i = 0; i < 256; ++i) {
    v4l2_fmtdesc desc{};
    desc.index = i;
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(fd_, VIDIOC_ENUM_FMT, &desc) != 0) break;
    offered.push_back(desc.pixelformat);
  }
  const Layout* chosen = nullptr;
  for (const Layout& l : kLayouts) {
    if (std::find(offered.begin(), offered.end(), l.fourcc) != offered.end()) {
      chosen = &l;
      break;
    }
  }
  if (chosen == nullptr) {
    std::string list;
    for (const uint32_t f : offered) list += (list.empty() ? "" : ", ") + FourccText(f);
    return Fail(CaptureFault::WrongFormat, "no picture format that converts (the device offers " +
                                               (list.empty() ? std::string("none") : list) + ")");
  }
  // The driver moves the size to the nearest it supports; the converter scales the rest.
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  format.fmt.pix.width = kCaptureWidth;
  format.fmt.pix.height = kCaptureHeight;
  format.fmt.pix.pixelformat = chosen->fourcc;
  format.fmt.pix.field = V4L2_FIELD_ANY;
  if (Ioctl(fd_, VIDIOC_S_FMT, &format) != 0) {
    if (errno == EBUSY) return Fail(CaptureFault::NoDevice, "is busy (another program uses it)");
    return Fail(CaptureFault::WrongFormat,
                "refuses the " + FourccText(chosen->fourcc) + " format (" + ErrnoText(errno) + ")");
  }
  const v4l2_pix_format& pix = format.fmt.pix;
  // YUV pictures are video range unless the driver says otherwise; grey is full range.
  const V4l2PictureDecoder::Format picture{
      pix.pixelformat,
      static_cast<int>(pix.width),
      static_cast<int>(pix.height),
      static_cast<int>(pix.bytesperline),
      pix.sizeimage,
      pix.quantization == V4L2_QUANTIZATION_FULL_RANGE || pix.pixelformat == V4L2_PIX_FMT_GREY,
      pix.ycbcr_enc == V4L2_YCBCR_ENC_709 ||
          (pix.ycbcr_enc == V4L2_YCBCR_ENC_DEFAULT && pix.colorspace == V4L2_COLORSPACE_REC709)};
  if (!decoder_.Prepare(picture)) {
    return Fail(CaptureFault::WrongFormat,
                "delivers " + FourccText(pix.pixelformat) + " " + std::to_string(pix.width) +
                    " x " + std::to_string(pix.height) + " pictures, which do not convert");
  }
  parameters_.inputWidth = static_cast<int>(pix.width);
  parameters_.inputHeight = static_cast<int>(pix.height);
  parameters_.format = FourccText(pix.pixelformat);
  return Result::Ok();
}

Result V4l2Capture::MapBuffers() {
  v4l2_requestbuffers request{};
  request.count = kBufferCount;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  if (Ioctl(fd_, VIDIOC_REQBUFS, &request) != 0 || request.count < 2) {
    return Fail(CaptureFault::NoDevice, "gives no capture buffers");
  }
  for (uint32_t i = 0; i < request.count; ++i) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = i;
    if (Ioctl(fd_, VIDIOC_QUERYBUF, &buffer) != 0) {
      return Fail(CaptureFault::NoDevice, "gives no capture buffers");
    }
    void* start =
        ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
    if (start == MAP_FAILED) {
      return Fail(CaptureFault::NoDevice, "cannot map the capture buffers");
    }
    buffers_.push_back({start, buffer.length});
  }
  return Result::Ok();
}

// The video standard and the picture settings, where the device has them.
void V4l2Capture::ReadSettings() {
  v4l2_std_id standard = 0;
  if (Ioctl(fd_, VIDIOC_G_STD, &standard) == 0) parameters_.standard = standard;
  const std::pair<uint32_t, std::optional<int>*> controls[] = {
      {V4L2_CID_BRIGHTNESS, &parameters_.brightness},
      {V4L2_CID_CONTRAST, &parameters_.contrast},
      {V4L2_CID_SATURATION, &parameters_.saturation},
      {V4L2_CID_HUE, &parameters_.hue},
  };
  for (const auto& [id, value] : controls) {
    v4l2_control control{};
    control.id = id;
    if (Ioctl(fd_, VIDIOC_G_CTRL, &control) == 0) *value = control.value;
  }
  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (Ioctl(fd_, VIDIOC_G_PARM, &parm) == 0) {
    canSetRate_ = (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME) != 0;
    const v4l2_fract& t = parm.parm.capture.timeperframe;
    if (t.numerator > 0) parameters_.inputRate = static_cast<double>(t.denominator) / t.numerator;
  }
}

Result V4l2Capture::StartStream(int framesPerSecond) {
  uint64_t drained = 0;
  while (::read(wake_, &drained, sizeof drained) > 0) {
  }
  if (canSetRate_) {
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe = {1, static_cast<uint32_t>(framesPerSecond)};
    // The device keeps the nearest interval it offers and says which.
    if (Ioctl(fd_, VIDIOC_S_PARM, &parm) == 0) {
      const v4l2_fract& t = parm.parm.capture.timeperframe;
      if (t.numerator > 0) {
        parameters_.inputRate = static_cast<double>(t.denominator) / t.numerator;
      }
    }
  }
  for (uint32_t i = 0; i < buffers_.size(); ++i) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = i;
    if (Ioctl(fd_, VIDIOC_QBUF, &buffer) != 0) {
      return Fail(CaptureFault::NoDevice, "cannot start capture (" + ErrnoText(errno) + ")");
    }
  }
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (Ioctl(fd_, VIDIOC_STREAMON, &type) != 0) {
    const int error = errno;
    StopStream();
    return Fail(CaptureFault::NoDevice, "cannot start capture (" + ErrnoText(error) + ")");
  }
  lastPicture_ = Clock::now();
  return Result::Ok();
}

CaptureSource::Grab V4l2Capture::GrabFrame(uint8_t* frame, Clock::time_point* time) {
  const auto wait = options_.readTimeout;
  const std::string silence = "no picture for " + DurationText(wait);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(lastPicture_ + wait - Clock::now());
    if (left.count() <= 0) return {Grabbed::Ended, silence};
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(std::min<int64_t>(left.count(), 1 << 30)));
    if (ready < 0 && errno != EINTR) {
      return {Grabbed::Ended, "the device failed (" + ErrnoText(errno) + ")"};
    }
    if (fds[1].revents != 0) return {Grabbed::Stopped, {}};
    if (ready <= 0) continue;
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (Ioctl(fd_, VIDIOC_DQBUF, &buffer) != 0) {
      const int error = errno;
      if (error == EAGAIN) continue;
      if (error == ENODEV) return {Grabbed::Ended, "the device was removed"};
      return {Grabbed::Ended, "the device failed (" + ErrnoText(error) + ")"};
    }
    bool converted = false;
    // A damaged picture is skipped; the buffer goes back either way.
    if (buffer.index < buffers_.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
      const size_t used = std::min<size_t>(buffer.bytesused, buffers_[buffer.index].length);
      converted =
          decoder_.Decode(static_cast<const uint8_t*>(buffers_[buffer.index].start), used, frame);
    }
    if (Ioctl(fd_, VIDIOC_QBUF, &buffer) != 0 && errno == ENODEV) {
      return {Grabbed::Ended, "the device was removed"};
    }
    if (converted) {
      lastPicture_ = Clock::now();
      *time = lastPicture_;
      return {Grabbed::Frame, {}};
    }
  }
}

void V4l2Capture::Interrupt() {
  if (wake_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
}

void V4l2Capture::StopStream() {
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (fd_ >= 0) Ioctl(fd_, VIDIOC_STREAMOFF, &type);  // takes every buffer back from the driver
}

void V4l2Capture::CloseSource() {
  for (const Mapping& m : buffers_) ::munmap(m.start, m.length);
  buffers_.clear();
  if (fd_ >= 0) {
    v4l2_requestbuffers none{};
    none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    none.memory = V4L2_MEMORY_MMAP;
    Ioctl(fd_, VIDIOC_REQBUFS, &none);
    ::close(fd_);
    fd_ = -1;
  }
  if (wake_ >= 0) ::close(wake_);
  wake_ = -1;
  parameters_ = CaptureParameters{};
}

}  // namespace fw
