// The reading-path probe: every crafted input of tests/support/probe_cases goes through the real
// program, which must answer with the expected message and exit status, without a signal, within
// a minute, and (in builds without sanitizers) under a 6 GiB address-space cap.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/clips.h"
#include "tests/support/probe_cases.h"

namespace fw {
namespace {

constexpr int kTimeoutSeconds = 60;
constexpr rlim_t kAddressSpace = rlim_t{6} << 30;

struct Outcome {
  bool exited = false;
  int status = -1;
  int signal = 0;
  bool timedOut = false;
  std::string output;  // stdout and stderr together
};

Outcome RunCli(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {std::string(FW_BIN_DIR) + "/fumewatch-cli"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  int pipeFds[2];
  Outcome outcome;
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return outcome;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::dup2(pipeFds[1], STDERR_FILENO);
#ifndef FW_SANITIZED
    const rlimit cap{kAddressSpace, kAddressSpace};
    ::setrlimit(RLIMIT_AS, &cap);
#endif
    ::execv(raw[0], raw.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
  char buffer[4096];
  for (;;) {
    pollfd p{pipeFds[0], POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      outcome.timedOut = true;
      ::kill(pid, SIGKILL);
      break;
    }
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    outcome.output.append(buffer, static_cast<size_t>(n));
  }
  ::close(pipeFds[0]);
  int rawStatus = 0;
  ::waitpid(pid, &rawStatus, 0);
  outcome.exited = WIFEXITED(rawStatus);
  outcome.status = outcome.exited ? WEXITSTATUS(rawStatus) : -1;
  outcome.signal = WIFSIGNALED(rawStatus) ? WTERMSIG(rawStatus) : 0;
  return outcome;
}

TEST(Probe, EveryCraftedInputGetsItsMessageAndStatus) {
  const std::string dir = test::TempDir("probe");
  for (const test::ProbeCase& c : test::MakeProbeCases(dir)) {
    SCOPED_TRACE(c.name);
    const Outcome o = RunCli(c.args);
    EXPECT_FALSE(o.timedOut);
    EXPECT_EQ(o.signal, 0) << o.output;
    EXPECT_EQ(o.status, c.status) << o.output;
    EXPECT_NE(o.output.find(c.fragment), std::string::npos) << o.output;
    // Errors are one line.
    if (c.status != 0 && c.status != 2) {
      EXPECT_EQ(o.output.find('\n'), o.output.size() - 1) << o.output;
    }
  }
}

}  // namespace
}  // namespace fw
