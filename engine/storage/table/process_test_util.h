// Helpers for tests that fork processes sharing tables: a one-way line channel between
// processes, running a body in a child, and waiting for a child with a time limit.
//
// Fork the children before the parent opens any table file: an open file description
// shared across fork would share its locks too.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace quarry::testing {

using ProcessClock = std::chrono::steady_clock;

inline std::int64_t MillisecondsSince(ProcessClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(ProcessClock::now() - start).count();
}

// A one-way channel of short messages between processes.
class TChannel {
 public:
  TChannel() {
    if (pipe(fds_) != 0) ADD_FAILURE() << "pipe failed";
  }
  ~TChannel() {
    close(fds_[0]);
    close(fds_[1]);
  }
  TChannel(const TChannel&) = delete;
  TChannel& operator=(const TChannel&) = delete;

  void Send(const std::string& message) {
    const std::string line = message + "\n";
    (void)!write(fds_[1], line.data(), line.size());
  }
  // The next line, or "" when none came within timeoutMs.
  std::string Receive(int timeoutMs = 30000) {
    std::string line;
    const ProcessClock::time_point start = ProcessClock::now();
    for (;;) {
      const auto left = static_cast<int>(timeoutMs - MillisecondsSince(start));
      if (left <= 0) return {};
      pollfd p{fds_[0], POLLIN, 0};
      if (poll(&p, 1, left) <= 0) continue;
      char c = 0;
      if (read(fds_[0], &c, 1) != 1) return {};
      if (c == '\n') return line;
      line += c;
    }
  }

 private:
  int fds_[2] = {-1, -1};
};

// Runs body in a child process; its result is the exit status (an exception gives 3).
inline pid_t Spawn(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int status = 3;
    try {
      status = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child failed: %s\n", e.what());
    } catch (...) {}
    _exit(status);
  }
  return pid;
}

// The child's exit status; kills it and gives -1 when it has not ended within timeoutMs.
inline int Join(pid_t pid, int timeoutMs = 60000) {
  const ProcessClock::time_point start = ProcessClock::now();
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0) return -2;
    if (MillisecondsSince(start) > timeoutMs) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace quarry::testing
