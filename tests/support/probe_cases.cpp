#include "tests/support/probe_cases.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/dib.h"
#include "core/image_file.h"
#include "tests/support/crafted.h"
#include "video/video_writer.h"

namespace fw::test {

namespace {

namespace fs = std::filesystem;

constexpr int kClipFrames = 20;

// A 64 x 48 clip whose frames differ (a square moves over a grey that brightens).
void WriteClip(const std::string& path, VideoCodec codec) {
  VideoWriter writer;
  (void)writer.Open(path, 64, 48, 10, codec);
  Dib frame;
  for (int i = 0; i < kClipFrames; ++i) {
    frame.CreateSigned(64, 48, 24, false);
    frame.Fill(static_cast<uint8_t>(10 * i));
    for (int y = 8; y < 20; ++y) {
      for (int x = 2 * i; x < 2 * i + 12; ++x) frame.SetPixelRgb(x, y, 250, 200, 40);
    }
    (void)writer.Write(frame);
  }
  (void)writer.Close();
}

// A BMP file header and 40-byte information header for a 24-bit picture, with `pixels` bytes
// after them whatever the header says.
Bytes BmpHeader(int width, int height, size_t pixels) {
  Bytes b(54 + pixels, 0);
  b[0] = 'B';
  b[1] = 'M';
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  PutLe32(b, 2, 54 + stride * static_cast<uint32_t>(height));
  PutLe32(b, 10, 54);
  PutLe32(b, 14, 40);
  PutLe32(b, 18, static_cast<uint32_t>(width));
  PutLe32(b, 22, static_cast<uint32_t>(height));
  b[26] = 1;
  b[28] = 24;
  return b;
}

// A 4 x 2 grey PNG with an extra chunk of text before its data; `broken` names the chunk whose
// CRC is damaged ("IHDR", "tEXt", "IEND", or empty for none).
Bytes PngWithText(const std::string& broken) {
  const Bytes plain = Png(4, 2, 8, 0, {Bytes(4, 90), Bytes(4, 200)});
  // Signature (8) and IHDR (25), then the text chunk, then the rest.
  Bytes png(plain.begin(), plain.begin() + 33);
  Chunk(png, "tEXt", Bytes{'n', 'o', 't', 'e', 0, 'h', 'i'});
  png.insert(png.end(), plain.begin() + 33, plain.end());
  if (!broken.empty()) {
    const auto at = std::search(png.begin(), png.end(), broken.begin(), broken.end());
    const size_t length = (static_cast<size_t>(at[-4]) << 24) | (at[-3] << 16) | (at[-2] << 8) |
                          static_cast<size_t>(at[-1]);
    at[4 + static_cast<long>(length)] ^= 0x5A;  // the first byte of the CRC
  }
  return png;
}

// A JPEG whose frame header declares another size than its data holds.
Bytes JpegDeclaring(int width, int height) {
  Dib picture;
  picture.CreateSigned(16, 16, 24, false);
  picture.Fill(120);
  const std::string path =
      (fs::temp_directory_path() / ("fw_probe_" + std::to_string(getpid()) + ".jpg")).string();
  (void)SaveJpeg(picture, path, 80);
  Bytes jpeg = ReadBytes(path);
  fs::remove(path);
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<uint8_t>(height);
      jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<uint8_t>(width);
      break;
    }
  }
  return jpeg;
}

// The clip with its main header and stream format claiming frames of another size.
Bytes AviDeclaring(const Bytes& clip, int width, int height) {
  Bytes avi = clip;
  const AviChunks map = MapAviChunks(avi);
  PutLe32(avi, map.mainHeader + 8 + 32, static_cast<uint32_t>(width));
  PutLe32(avi, map.mainHeader + 8 + 36, static_cast<uint32_t>(height));
  PutLe32(avi, map.streamFormat + 8 + 4, static_cast<uint32_t>(width));
  PutLe32(avi, map.streamFormat + 8 + 8, static_cast<uint32_t>(height));
  return avi;
}

// The clip without its index, chunk 5's header broken and chunk 9's data wiped: 5 is known
// damaged from the file's structure, 9 only once it is decoded.
Bytes DamagedAvi(const Bytes& clip) {
  Bytes avi = clip;
  const AviChunks map = MapAviChunks(avi);
  std::memcpy(avi.data() + map.index, "JUNK", 4);
  std::memcpy(avi.data() + map.video[5], "\x01\x7f#!", 4);
  const size_t at = map.video[9];
  std::fill(avi.begin() + static_cast<long>(at) + 8,
            avi.begin() + static_cast<long>(at + 8 + Le32At(avi, at + 4)), 0);
  return avi;
}

// A copy of the clip in a folder of its own, with `blocker` made at its log path (clip.txt).
std::string ClipWithLog(const std::string& dir, const std::string& name, const Bytes& clip,
                        void (*blocker)(const std::string& log)) {
  const std::string folder = dir + "/" + name;
  fs::create_directories(folder);
  WriteBytes(folder + "/clip.avi", clip);
  blocker(folder + "/clip.txt");
  return folder + "/clip.avi";
}

}  // namespace

std::vector<ProbeCase> MakeProbeCases(const std::string& dir) {
  const std::string mjpeg = dir + "/clip.avi";
  WriteClip(mjpeg, VideoCodec::Mjpeg);
  const std::string raw = dir + "/raw.avi";
  WriteClip(raw, VideoCodec::RawBgr24);
  const Bytes clip = ReadBytes(mjpeg);
  const Bytes rawClip = ReadBytes(raw);

  const auto file = [&](const std::string& name, const Bytes& bytes) {
    WriteBytes(dir + "/" + name, bytes);
    return dir + "/" + name;
  };
  const std::string out = dir + "/out.bmp";
  const std::string fifo = dir + "/fifo";
  ::mkfifo(fifo.c_str(), 0600);
  const std::string folder = dir + "/folder.avi";
  fs::create_directories(folder);

  // Oversized: small files whose headers declare pictures and frames beyond the limits.
  Bytes hugePng = Png(16384, 4096, 8, 2, {});
  hugePng.resize(65536, 0);
  const std::string png = file("huge.png", hugePng);
  const std::string bmp = file("huge.bmp", BmpHeader(8192, 8192, 65000));
  const std::string jpeg = file("huge.jpg", JpegDeclaring(10000, 10000));
  const std::string wide = file("wide.avi", AviDeclaring(rawClip, 16000, 16000));
  const std::string many = file("many.avi", AviDeclaring(rawClip, 5000, 4000));
  // Lying: headers that promise more than the file holds, broken CRCs, pictures as videos.
  const std::string shortBmp = file("short.bmp", BmpHeader(100, 100, 200));
  const std::string ihdr = file("ihdr_crc.png", PngWithText("IHDR"));
  const std::string text = file("text_crc.png", PngWithText("tEXt"));
  const std::string iend = file("iend_crc.png", PngWithText("IEND"));
  const std::string goodPng = file("good.png", PngWithText(""));
  const std::string goodBmp = file("good.bmp", BmpHeader(2, 2, 16));
  const std::string empty = file("empty.jpg", {});
  const std::string notes = file("notes.avi", Bytes{'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
  // Damaged streams.
  const std::string damaged = file("damaged.avi", DamagedAvi(clip));
  const std::string cut = file("cut.avi", Bytes(clip.begin(), clip.begin() + clip.size() / 2));

  // Alarm logs that cannot be written; the log is checked before the run, so any mode meets it.
  const std::string logFolder = ClipWithLog(
      dir, "log_folder", clip, [](const std::string& log) { fs::create_directories(log); });
  const std::string logLink = ClipWithLog(dir, "log_link", clip, [](const std::string& log) {
    WriteBytes(log + ".target", {});
    fs::create_symlink(log + ".target", log);
  });
  const std::string logFifo = ClipWithLog(
      dir, "log_fifo", clip, [](const std::string& log) { ::mkfifo(log.c_str(), 0600); });
  const std::string logDevice = ClipWithLog(dir, "log_device", clip, [](const std::string& log) {
    fs::create_symlink("/dev/null", log);  // a device node needs root; a link to one does not
  });
  const std::string txtVideo = dir + "/video.txt";
  WriteBytes(txtVideo, clip);

  const std::string beyond = "is beyond the limit of 16384 pixels a side and 16777216 pixels";
  return {
      // pictures through `image`
      {"oversized PNG", {"image", "grey", png, out}, "picture size 16384 x 4096 " + beyond, 1},
      {"oversized BMP",
       {"image", "grey", bmp, out},
       "Out of memory for DIB bits (picture size 8192 x 8192 " + beyond + ")",
       1},
      {"oversized JPEG", {"image", "grey", jpeg, out}, "picture size 10000 x 10000 " + beyond, 1},
      {"BMP shorter than its header says",
       {"image", "grey", shortBmp, out},
       "file ends inside the pixel data (the header declares 30000 bytes of pixels)",
       1},
      {"PNG header CRC", {"image", "grey", ihdr, out}, "IHDR: CRC error", 1},
      {"PNG text chunk CRC", {"image", "grey", text, out}, "tEXt: CRC error", 1},
      {"PNG end CRC", {"image", "grey", iend, out}, "IEND: CRC error", 1},
      {"good PNG", {"image", "grey", goodPng, out}, "", 0},
      {"good BMP", {"image", "grey", goodBmp, out}, "", 0},
      {"empty picture", {"image", "grey", empty, out}, empty + ": file is empty", 1},
      {"folder as picture", {"image", "grey", dir, out}, dir + ": is a directory", 1},
      {"FIFO as picture", {"image", "grey", fifo, out}, "is a FIFO, not a regular file", 1},
      {"device as picture",
       {"image", "grey", "/dev/zero", out},
       "/dev/zero: is a character device, not a regular file",
       1},
      // videos through `info`, `detect`, `frame` and `bench`
      {"frames beyond the side limit", {"info", wide}, "frame size 16000 x 16000 " + beyond, 1},
      {"frames beyond the pixel limit", {"info", many}, "frame size 5000 x 4000 " + beyond, 1},
      {"picture as video", {"info", goodPng}, goodPng + ": not a video (a PNG picture)", 1},
      {"BMP picture as video",
       {"detect", "--mode", "7010", goodBmp},
       goodBmp + ": not a video (a BMP picture)",
       1},
      {"text as video", {"info", notes}, notes + ": Invalid data found", 1},
      {"folder as video", {"info", folder}, folder + ": is a directory", 1},
      {"FIFO as video", {"detect", "--mode", "1", fifo}, "is a FIFO, not a regular file", 1},
      {"damaged stream: info", {"info", damaged}, "frames=20", 0},
      {"damaged stream: what info knows",
       {"info", damaged},
       "1 damaged frame (5) showed the frame before it",
       0},
      {"damaged stream: detect plays every frame",
       {"detect", "--mode", "0", damaged},
       "frames=20 alarms=0",
       0},
      {"damaged stream: detect names the damaged frames",
       {"detect", "--mode", "0", damaged},
       "2 damaged frames (5, 9) showed the frame before them",
       0},
      {"truncated stream", {"info", cut}, "frames=", 0},
      {"bench beyond the memory budget",
       {"bench", "--mode", "1", "--size", "8192x8192", "--memory-budget", "1G"},
       "for 200 frames of 8192 x 8192 and mode 1, more than the memory budget of 1.0 GB",
       1},
      {"mode beyond the memory budget",
       {"detect", "--mode", "7010", "--memory-budget", "1M", "--set", "secondsFactor=10", "--set",
        "frameRateFactor=50", mjpeg},
       "mode 7010 (Fumewatch) needs about 3 MB for 64 x 48 frames, more than the memory budget "
       "of 1 MB",
       1},
      // alarm logs
      {"folder at the log path",
       {"detect", "--mode", "1", logFolder},
       "clip.txt: cannot append to the alarm log (it is a directory)",
       1},
      {"link at the log path",
       {"detect", "--mode", "1", logLink},
       "clip.txt: cannot append to the alarm log (it is a symbolic link)",
       1},
      {"FIFO at the log path",
       {"detect", "--mode", "1", logFifo},
       "clip.txt: cannot append to the alarm log (it is a FIFO, not a regular file)",
       1},
      {"link to a device at the log path",
       {"detect", "--mode", "1", logDevice},
       "clip.txt: cannot append to the alarm log (it is a symbolic link)",
       1},
      {"video named .txt", {"detect", "--mode", "1", txtVideo}, "frames=20", 0},
      // command-line odds
      {"help with a value", {"info", "--help=1"}, "option --help takes no value", 1},
      {"single-dash option", {"detect", "--mode", "7010", "-x", mjpeg}, "unknown option -x", 1},
      {"empty events name",
       {"detect", "--mode", "7010", "--events=", mjpeg},
       "option --events needs a value",
       1},
      {"no mode", {"detect", mjpeg}, "detect needs --mode N", 1},
      {"mode not a number",
       {"detect", "--mode", "abc", mjpeg},
       "--mode must be a whole number from 0 to 1073741824 (got \"abc\")",
       1},
      {"unknown mode", {"detect", "--mode", "9999", mjpeg}, "unknown mode 9999", 1},
      {"bad memory budget",
       {"detect", "--mode", "1", "--memory-budget", "lots", mjpeg},
       "--memory-budget: memory size must be",
       1},
      {"unknown parameter", {"detect", "--mode", "7010", "--set", "nosuch=1", mjpeg}, "nosuch", 1},
      {"frame as PNG", {"frame", mjpeg, "3", dir + "/frame.png"}, "must be a .bmp or .jpg", 1},
      {"frame index not a number", {"frame", mjpeg, "x", out}, "frame index must be a whole", 1},
      {"frame index past the end", {"frame", mjpeg, "20", out}, "out of range (0..19)", 1},
      {"bench size", {"bench", "--size", "0x0"}, "--size must be WxH", 1},
      {"unknown command", {"nosuchcommand"}, "unknown command \"nosuchcommand\"", 2},
  };
}

}  // namespace fw::test
