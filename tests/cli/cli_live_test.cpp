// fumewatch-cli on live sources, end to end: ffmpeg serves a clip as MPEG-TS on a loopback port
// and the real program watches it; the simulated card; sources that do not exist. Every run
// works in a temporary folder, where the live alarm log is written.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/dib.h"
#include "tests/support/clips.h"
#include "video/video_writer.h"

namespace fw {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm date{};
  localtime_r(&now, &date);
  char day[16];
  std::strftime(day, sizeof day, "%Y-%m-%d", &date);
  return day;
}

// The program in `dir`, stdout read line by line as it comes, stderr into a file.
class LiveCli {
 public:
  LiveCli(const std::string& dir, const std::string& args) : errors_(dir + "/stderr.txt") {
    const std::string command = "cd '" + dir + "' && exec " + std::string(FW_BIN_DIR) +
                                "/fumewatch-cli " + args + " 2>'" + errors_ + "'";
    pipe_ = popen(command.c_str(), "r");
  }
  ~LiveCli() {
    if (pipe_ != nullptr) Finish();
  }
  // The next line of stdout without its line break; false at the end.
  bool NextLine(std::string& line) {
    char buffer[1024];
    if (pipe_ == nullptr || std::fgets(buffer, sizeof buffer, pipe_) == nullptr) return false;
    line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return true;
  }
  // Reads the rest of stdout and returns the exit status.
  int Finish() {
    std::string line;
    while (NextLine(line)) rest_.push_back(line);
    const int raw = pclose(pipe_);
    pipe_ = nullptr;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  const std::vector<std::string>& Rest() const { return rest_; }
  std::string Errors() const { return ReadText(errors_); }

 private:
  std::string errors_;
  FILE* pipe_ = nullptr;
  std::vector<std::string> rest_;
};

// A free loopback port (closed again, for ffmpeg to listen on).
int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return ntohs(address.sin_port);
}

// True once a socket listens on the loopback port (without connecting to it, which would take
// the sender's one connection).
bool Listening(int port) {
  std::ifstream tcp("/proc/net/tcp");
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  for (std::string line; std::getline(tcp, line);) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0 && state == "0A") {
      return true;
    }
  }
  return false;
}

// ffmpeg serving a clip at its own rate as MPEG-TS on tcp://127.0.0.1:PORT, loopback only.
class FfmpegSender {
 public:
  explicit FfmpegSender(const std::string& clip) : port_(FreePort()) {
    const std::string url = "tcp://127.0.0.1:" + std::to_string(port_) + "?listen=1";
    pid_ = fork();
    if (pid_ == 0) {
      execlp("ffmpeg", "ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-i", clip.c_str(), "-c",
             "copy", "-f", "mpegts", url.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!Listening(port_) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~FfmpegSender() { Kill(); }
  std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
  bool Ready() const { return Listening(port_); }
  // The sender dies mid-stream.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  int port_;
  pid_t pid_ = -1;
};

// 352 x 288 at 25 frames per second (slow enough that a busy machine drops no frame): a grey square
// flickering over a still texture for the first `flickering` frames (mode 7010 alarms once it has
// learned), still afterwards.
std::string FlickerClip(const std::string& dir, int frames, int flickering) {
  const std::string path = dir + "/flicker.avi";
  VideoWriter writer;
  EXPECT_EQ(writer.Open(path, 352, 288, 25, VideoCodec::Mpeg4).message(), "");
  Dib frame;
  frame.CreateSigned(352, 288, 24, false);
  for (int i = 0; i < frames; ++i) {
    for (int y = 0; y < 288; ++y) {
      for (int x = 0; x < 352; ++x) {
        const bool square = x >= 96 && x < 160 && y >= 96 && y < 160;
        const int v =
            square ? (i < flickering && i % 2 == 1 ? 200 : 60) : 40 + (x / 8 + y / 8) % 2 * 40;
        frame.SetPixelRgb(x, y, static_cast<uint8_t>(v), static_cast<uint8_t>(v),
                          static_cast<uint8_t>(v));
      }
    }
    EXPECT_EQ(writer.Write(frame).message(), "");
  }
  EXPECT_EQ(writer.Close().message(), "");
  return path;
}

// The sender dies in the middle of the stream: the program says so and ends with status 1,
// every interval closed until then was printed at once, flushed into the events file at once
// and is in the live alarm log of the working directory. (How many intervals there are depends
// on the frames a busy machine drops; what each one leaves behind does not.)
TEST(CliLive, AStreamFromFfmpegUntilTheSenderDies) {
  const std::string dir = test::TempDir("cli_live_stream");
  const std::string clip = FlickerClip(dir, 400, 200);
  FfmpegSender sender(clip);
  ASSERT_TRUE(sender.Ready()) << "ffmpeg does not listen";
  LiveCli cli(dir,
              "detect --mode 7010 --live " + sender.Url() + " --seconds 60 --events events.jsonl");
  auto event = [&](const std::string& line) {
    int start = -1;
    int end = -1;
    EXPECT_EQ(std::sscanf(line.c_str(), "Fire alarm at frame # %d to %d. ", &start, &end), 2)
        << line;
    EXPECT_GT(start, 120);
    EXPECT_GT(end, start);
    return "{\"mode\":7010,\"start\":" + std::to_string(start) + ",\"end\":" + std::to_string(end) +
           ",\"source\":\"" + sender.Url() + "\"}\n";
  };
  std::string line;
  ASSERT_TRUE(cli.NextLine(line)) << cli.Errors();
  // The first interval closed while the square flickered or once it stopped; its JSON line is
  // already there when its line is printed.
  std::string events = event(line);
  std::string logged = line + "\r\n";
  EXPECT_EQ(ReadText(dir + "/events.jsonl"), events);
  sender.Kill();
  EXPECT_EQ(cli.Finish(), 1);
  ASSERT_FALSE(cli.Rest().empty());
  const std::string summary = cli.Rest().back();
  EXPECT_EQ(summary.rfind("frames=", 0), 0u) << summary;
  for (size_t i = 0; i + 1 < cli.Rest().size(); ++i) {
    events += event(cli.Rest()[i]);
    logged += cli.Rest()[i] + "\r\n";
  }
  EXPECT_NE(summary.find(" alarms=" + std::to_string(cli.Rest().size()) + " dropped="),
            std::string::npos)
      << summary;
  const std::string errors = cli.Errors();
  EXPECT_NE(errors.find(sender.Url() + ": the stream ended"), std::string::npos) << errors;
  const std::string log =
      "tcp_127.0.0.1_" + sender.Url().substr(sender.Url().rfind(':') + 1) + "_" + Today() + ".txt";
  EXPECT_EQ(ReadText(dir + "/" + log), logged);
  EXPECT_EQ(ReadText(dir + "/events.jsonl"), events);
  EXPECT_FALSE(fs::exists(dir + "/flicker.txt"));
  fs::remove_all(dir);
}

TEST(CliLive, SimulatedCardAndInfo) {
  const std::string dir = test::TempDir("cli_live_sim");
  LiveCli detect(dir, "detect --mode 7011 --live sim: --frames 30 --rate 50");
  EXPECT_EQ(detect.Finish(), 0) << detect.Errors();
  ASSERT_EQ(detect.Rest().size(), 1u);
  EXPECT_EQ(detect.Rest()[0].rfind("frames=30 alarms=0 dropped=", 0), 0u) << detect.Rest()[0];
  LiveCli info(dir, "info --live sim:");
  EXPECT_EQ(info.Finish(), 0);
  ASSERT_EQ(info.Rest().size(), 1u);
  EXPECT_EQ(info.Rest()[0],
            "source=sim: width=352 height=288 input=352x288 fps=0 format=test pattern");
  // A run without alarms writes no log.
  EXPECT_FALSE(fs::exists(dir + "/sim_" + Today() + ".txt"));
  fs::remove_all(dir);
}

TEST(CliLive, SourcesThatAreNotThereGiveOneLineAndStatusOne) {
  const std::string dir = test::TempDir("cli_live_bad");
  const struct {
    std::string args;
    std::string expect;
  } cases[] = {
      {"detect --mode 7010 --live /dev/video99 --seconds 1", "/dev/video99: no such device"},
      {"detect --mode 7010 --live sim:" + dir + "/missing.avi --seconds 1", "missing.avi"},
      {"detect --mode 7010 --live ftp://host/x", "ftp://host/x: "},
      {"detect --mode 7010 --live sim: " + dir + "/clip.avi", "takes no video file"},
      {"detect --mode 7010 --live sim: --rate 0", "--rate"},
      {"info --live /dev/video99", "/dev/video99: no such device"},
      {"bench --live /dev/video99", "/dev/video99: no such device"},
  };
  for (const auto& c : cases) {
    LiveCli cli(dir, c.args);
    EXPECT_EQ(cli.Finish(), 1) << c.args;
    const std::string errors = cli.Errors();
    EXPECT_NE(errors.find(c.expect), std::string::npos) << c.args << ": " << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_TRUE(cli.Rest().empty()) << c.args;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace fw
