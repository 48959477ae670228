// TCupsTestServer: a private CUPS scheduler for tests that print through a real spooler.
//
// It runs its own cupsd in the foreground on a Unix socket inside a temporary folder, with
// its own configuration, spool, state, cache and log folders and no network listener, and a
// "capture" backend: a shell script that copies every job (each copy the job asks for) into
// a folder per queue, where the test reads it. Queues are raw (no PPD, no filters). The
// program under test reaches the scheduler through CUPS_SERVER. The scheduler is stopped by
// its process id and the folder removed when the object goes; the system's own scheduler and
// its configuration are never touched.
//
// Tests call Start() and skip, with Reason(), when it returns false (no cupsd installed, or
// it would not start here).
#pragma once

#include <cups/cups.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace gpr::testing {

class TCupsTestServer {
 public:
  TCupsTestServer() = default;
  TCupsTestServer(const TCupsTestServer&) = delete;
  TCupsTestServer& operator=(const TCupsTestServer&) = delete;
  ~TCupsTestServer() { Stop(); }

  bool Start() {
    namespace fs = std::filesystem;
    if (!fs::exists(kCupsd) || !fs::exists(kLpadmin)) return Fail("cupsd or lpadmin is not installed");
    char pattern[] = "/tmp/gprcups.XXXXXX";  // short: a socket path has at most 107 bytes
    if (!::mkdtemp(pattern)) return Fail("cannot make a temporary folder");
    root_ = pattern;
    for (const char* dir : {"conf", "spool", "tmp", "log", "cache", "state", "capture", "bin/backend"}) {
      fs::create_directories(root_ + "/" + dir);
    }
    for (const char* dir : {"daemon", "filter", "notifier", "cgi-bin", "monitor", "driver"}) {
      std::error_code ignored;
      if (fs::exists(std::string("/usr/lib/cups/") + dir)) {
        fs::create_directory_symlink(std::string("/usr/lib/cups/") + dir, root_ + "/bin/" + dir, ignored);
      }
    }
    socket_ = root_ + "/cups.sock";
    WriteFile(root_ + "/bin/backend/capture", kBackendScript);
    // Owned by root and private, the backend runs with the scheduler's own rights.
    fs::permissions(root_ + "/bin/backend/capture", fs::perms::owner_all);
    WriteFile(root_ + "/conf/cupsd.conf", "Listen " + socket_ +
                                              "\nBrowsing No\nWebInterface No\nLogLevel warn\nDefaultAuthType "
                                              "None\nMaxJobTime 60\n<Location />\n  Order allow,deny\n  Allow "
                                              "all\n</Location>\n<Policy default>\n  <Limit All>\n    Order "
                                              "deny,allow\n  </Limit>\n</Policy>\n");
    WriteFile(root_ + "/conf/cups-files.conf",
              "ServerRoot " + root_ + "/conf\nRequestRoot " + root_ + "/spool\nTempDir " + root_ + "/tmp\nServerBin " +
                  root_ + "/bin\nCacheDir " + root_ + "/cache\nStateDir " + root_ +
                  "/state\nDataDir /usr/share/cups\nAccessLog " + root_ + "/log/access_log\nErrorLog " + root_ +
                  "/log/error_log\nPageLog " + root_ + "/log/page_log\nFileDevice No\nSandboxing Relaxed\n");

    pid_ = ::fork();
    if (pid_ < 0) return Fail("fork failed");
    if (pid_ == 0) {
      const std::string conf = root_ + "/conf/cupsd.conf";
      const std::string files = root_ + "/conf/cups-files.conf";
      const std::string log = root_ + "/log/stdout";
      if (std::FILE* out = std::freopen(log.c_str(), "w", stdout)) (void)out;
      ::dup2(STDOUT_FILENO, STDERR_FILENO);
      ::execl(kCupsd, kCupsd, "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::setenv("CUPS_SERVER", socket_.c_str(), 1);
    cupsSetServer(socket_.c_str());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!Accepts()) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return Fail("cupsd exited at start: " + ReadFile(root_ + "/log/stdout") + ReadFile(root_ + "/log/error_log"));
      }
      if (std::chrono::steady_clock::now() > deadline) return Fail("cupsd did not open its socket");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  void Stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
    }
    if (!root_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(root_, ignored);
      root_.clear();
    }
  }

  const std::string& Reason() const { return reason_; }
  const std::string& Socket() const { return socket_; }

  // Adds an enabled raw queue that captures its jobs; makeDefault makes it the default queue.
  bool AddQueue(const std::string& name, bool makeDefault = false) {
    std::filesystem::create_directories(CaptureDir(name));
    if (!Run(std::string(kLpadmin) + " -h " + socket_ + " -p " + name + " -E -v capture:" + CaptureDir(name))) {
      return false;
    }
    return !makeDefault || Run(std::string(kLpadmin) + " -h " + socket_ + " -d " + name);
  }
  bool RemoveQueue(const std::string& name) { return Run(std::string(kLpadmin) + " -h " + socket_ + " -x " + name); }

  // Waits until the scheduler holds no unfinished job (or the time is up).
  bool WaitIdle(std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      cups_job_t* jobs = nullptr;
      const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
      cupsFreeJobs(count, jobs);
      if (count == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // What the queue's backend captured: one entry per copy of every job, in job order.
  std::vector<std::string> Captured(const std::string& queue) const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(CaptureDir(queue))) {
      if (entry.path().extension() != ".part") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> contents;
    for (const auto& file : files) contents.push_back(ReadFile(file.string()));
    return contents;
  }

  std::string CaptureDir(const std::string& queue) const { return root_ + "/capture/" + queue; }
  std::string Root() const { return root_; }

  static std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  static constexpr const char* kCupsd = "/usr/sbin/cupsd";
  static constexpr const char* kLpadmin = "/usr/sbin/lpadmin";
  // Job files are named job-<id padded>-<copy>, written under .part first so a reader never
  // sees half a job.
  static constexpr const char* kBackendScript =
      "#!/bin/sh\n"
      "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Capture\"'; exit 0; fi\n"
      "dir=\"${DEVICE_URI#capture:}\"\n"
      "job=$(printf '%06d' \"$1\")\n"
      "copies=\"${4:-1}\"\n"
      "if [ $# -lt 6 ]; then cat > \"$dir/job-$job-1.part\" && mv \"$dir/job-$job-1.part\" \"$dir/job-$job-1\"; "
      "exit 0; fi\n"
      "i=1\n"
      "while [ \"$i\" -le \"$copies\" ]; do\n"
      "  cat \"$6\" > \"$dir/job-$job-$i.part\" && mv \"$dir/job-$job-$i.part\" \"$dir/job-$job-$i\"\n"
      "  i=$((i+1))\n"
      "done\n"
      "exit 0\n";

  bool Fail(const std::string& reason) {
    reason_ = reason;
    Stop();
    return false;
  }

  bool Accepts() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket_.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
  }

  static bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

  static void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << text;
  }

  std::string root_;
  std::string socket_;
  std::string reason_;
  pid_t pid_ = -1;
};

}  // namespace gpr::testing
