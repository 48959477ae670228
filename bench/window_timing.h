// What the window benchmarks share: wall and CPU stopwatches, medians of repeated runs and
// their report lines, starting the engine session afresh in a folder of tables, and a
// notifier that prints instead of opening message boxes. Header-only: each benchmark is a
// program of its own.
#pragma once

#include "app/user_notifier.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace window_timing {

using TClock = std::chrono::steady_clock;

inline double MillisecondsSince(TClock::time_point start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// The process's CPU time in milliseconds: on a machine shared with other work the wall
// time includes waiting for a core, the CPU time does not.
inline double CpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// A step's wall time and CPU time, in milliseconds.
struct TTime {
  double wall = 0;
  double cpu = 0;
};

class TStopwatch {
 public:
  TStopwatch() : wall_(TClock::now()), cpu_(CpuMilliseconds()) {}
  TTime Elapsed() const { return {MillisecondsSince(wall_), CpuMilliseconds() - cpu_}; }

 private:
  TClock::time_point wall_;
  double cpu_;
};

// Runs f `runs` times and returns the times.
inline std::vector<TTime> Times(int runs, const std::function<void()>& f) {
  std::vector<TTime> times;
  for (int run = 0; run < runs; ++run) {
    const TStopwatch watch;
    f();
    times.push_back(watch.Elapsed());
  }
  return times;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The medians of wall and CPU time; a target is judged on the CPU time, which does not
// depend on what else the machine runs, unless the step mostly waits (byWall).
inline void Report(const char* what, const std::vector<TTime>& times, double target = 0, bool byWall = false) {
  std::vector<double> wall, cpu;
  for (const TTime& t : times) {
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
  const double judged = byWall ? Median(wall) : Median(cpu);
  std::printf("%-50s wall %7.1f ms  cpu %7.1f ms  (median of %zu)", what, Median(wall), Median(cpu), times.size());
  if (target > 0) std::printf("  target %3.0f ms %s", target, judged <= target ? "met" : "MISSED");
  std::printf("\n");
}

inline bool HasTables(const QString& folder) { return QFile::exists(folder + QStringLiteral("/VIDEOS.DAT")); }

// Starts the engine session afresh in the folder, as the program starts in its directory.
inline void StartIn(const QString& folder) {
  QDir::setCurrent(folder);
  quarry::DefaultSession().Close();
}

inline TUserNotifier QuietNotifier() {
  TUserNotifier notifier;
  notifier.information = [](QWidget*, const QString& text) { std::printf("information: %s\n", qPrintable(text)); };
  notifier.errorReport = [](QWidget*, const QString& text) { std::printf("error: %s\n", qPrintable(text)); };
  notifier.beep = [] {};
  return notifier;
}

}  // namespace window_timing
