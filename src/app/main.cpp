// velkor [--dir DIR] [--headless] [--simulate-from "YYYY-MM-DD hh:mm:ss" --run-for SECONDS]
//        [--simulate-drift PPM]
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/platform.h"
#include "platform/service.h"
#include "station/simulated_run.h"
#include "station/station_controller.h"
#include "ui/mainform.h"
#include "ui/qt_text.h"

namespace fs = std::filesystem;

namespace {

int g_signalPipe[2] = {-1, -1};
// A century: more than any run needs, far from overflowing milliseconds.
constexpr long long kMaxRunForSeconds = 100LL * 366 * 86400;
// The last resort after a request to stop: the close sequence bounds its own
// waits well below this.
constexpr unsigned kStopLimitSeconds = 9;

void OnSignal(int) {
  const char c = 1;
  (void)!::write(g_signalPipe[1], &c, 1);
}

struct CommandLine {
  std::string dir;
  bool headless = false;
  std::string simulateFrom;
  int64_t runFor = -1;
  double driftPpm = 0;
  bool help = false;
  std::string error;
};

CommandLine Parse(int argc, char** argv) {
  CommandLine cl;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> std::string {
      if (i + 1 >= argc) {
        cl.error = std::string(name) + " needs a value";
        return {};
      }
      return argv[++i];
    };
    if (a == "--dir") {
      cl.dir = value("--dir");
    } else if (a == "--headless") {
      cl.headless = true;
    } else if (a == "--simulate-from") {
      cl.simulateFrom = value("--simulate-from");
    } else if (a == "--run-for") {
      const std::string v = value("--run-for");
      char* end = nullptr;
      errno = 0;
      const long long n = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || *end || errno || n < 0)
        cl.error = "--run-for needs a whole number of seconds";
      else if (n > kMaxRunForSeconds)
        cl.error = "--run-for is limited to " + std::to_string(kMaxRunForSeconds) + " seconds";
      else
        cl.runFor = n;
    } else if (a == "--simulate-drift") {
      const std::string v = value("--simulate-drift");
      char* end = nullptr;
      errno = 0;
      const double ppm = std::strtod(v.c_str(), &end);
      // A sampling clock that far off is no longer a converter worth simulating.
      if (v.empty() || *end || errno || !(ppm > -10000 && ppm < 10000))
        cl.error = "--simulate-drift needs a number of ppm between -10000 and 10000";
      else
        cl.driftPpm = ppm;
    } else if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a.rfind("-platform", 0) == 0 || a.rfind("-style", 0) == 0) {
      ++i;  // Qt's own options
    } else {
      cl.error = "unknown option " + a;
    }
    if (!cl.error.empty()) break;
  }
  if (cl.error.empty() && cl.simulateFrom.empty() != (cl.runFor < 0))
    cl.error = "--simulate-from and --run-for go together";
  return cl;
}

// Creates the station directory when needed and proves that it can be written.
bool PrepareStationDir(const std::string& dir, std::string& error) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  const std::string probe = dir + ".velkor-write-test";
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

bool HasDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform) return true;
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine cl = Parse(argc, argv);
  if (cl.help || !cl.error.empty()) {
    if (!cl.error.empty()) std::cerr << "velkor: " << cl.error << "\n";
    std::cerr << "usage: velkor [--dir DIR] [--headless] "
                 "[--simulate-from \"YYYY-MM-DD hh:mm:ss\" --run-for SECONDS] "
                 "[--simulate-drift PPM]\n";
    return cl.help ? 0 : 2;
  }
  TDateTime simStart = 0;
  if (!cl.simulateFrom.empty() && !ParseIsoDateTime(cl.simulateFrom, simStart)) {
    std::cerr << "velkor: --simulate-from needs a UTC time as \"YYYY-MM-DD hh:mm:ss\"\n";
    return 2;
  }
  // The receiver sends two-digit years, read as 2000-2099.
  if (!cl.simulateFrom.empty() &&
      (DecodeDateTime(simStart).year < 2000 || DecodeDateTime(simStart).year > 2099)) {
    std::cerr << "velkor: --simulate-from needs a year from 2000 to 2099\n";
    return 2;
  }
  // A closed reader of our output must not end the station.
  ::signal(SIGPIPE, SIG_IGN);

  std::error_code ec;
  const fs::path exe = fs::canonical("/proc/self/exe", ec);
  fs::path dir = cl.dir.empty() ? exe.parent_path() : fs::absolute(cl.dir, ec);
  std::string stationDir = dir.lexically_normal().string();
  if (stationDir.empty() || stationDir.back() != '/') stationDir += '/';

  const bool headless = cl.headless || !HasDisplay();
  std::unique_ptr<QCoreApplication> app;
  if (headless)
    app = std::make_unique<QCoreApplication>(argc, argv);
  else
    app = std::make_unique<QApplication>(argc, argv);

  std::string error;
  if (!PrepareStationDir(stationDir, error)) {
    const std::string text = "The station directory " + stationDir + " cannot be written: " + error;
    if (headless)
      std::cerr << "velkor: " << text << "\n";
    else
      QMessageBox::critical(nullptr, "Velkor", Latin1(text));
    return 1;
  }

  // One station per directory: a second one would interleave its data with the first.
  {
    std::string title;
    ProgramFiles names;
    StationController::DeriveNames(exe.empty() ? std::string("velkor") : exe.filename().string(),
                                   title, names);
    const std::string lock = stationDir + names.LogName.substr(0, names.LogName.size() - 4) + ".lock";
    if (!AcquireInstanceLock(lock, error)) {
      const std::string text = "The station in " + stationDir + " is not started: " + error;
      if (headless)
        std::cerr << "velkor: " << text << "\n";
      else
        QMessageBox::critical(nullptr, "Velkor", Latin1(text));
      return 3;
    }
  }
  EnableServiceNotifications();

  RaiseProcessPriority();

  StationOptions options;
  options.ProgramDir = stationDir;
  options.ExecutableName = exe.empty() ? std::string("velkor") : exe.filename().string();
  options.converterDriftPpm = cl.driftPpm;
  std::unique_ptr<ManualClock> simClock;
  SystemRestarter realRestarter;
  if (!cl.simulateFrom.empty()) {
    simClock = std::make_unique<ManualClock>();
    simClock->Set(simStart);
    options.clock = simClock.get();
    options.manualClock = simClock.get();
    options.simulated = true;
  } else {
    options.restarter = &realRestarter;
  }

  StationController station(options);
  if (headless) {
    // Workers log from their own threads: one write per line keeps lines whole.
    static std::mutex echoLock;
    static bool echoGone = false;
    QObject::connect(&station, &StationController::logLine, [](const std::string& line) {
      // The log is 8-bit Latin-1; terminals expect UTF-8.
      QByteArray text = Latin1(line).toUtf8();
      text.append('\n');
      std::lock_guard lock(echoLock);
      // The echo is a courtesy: once it cannot be written it is dropped.
      for (qsizetype done = 0; !echoGone && done < text.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, text.constData() + done,
                                  static_cast<size_t>(text.size() - done));
        if (n > 0)
          done += n;
        else if (n < 0 && errno == EINTR)
          continue;
        else
          echoGone = true;
      }
    });
  }

  // SIGTERM, SIGINT and SIGHUP end the session through the close sequence, exactly once.
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
  }
  if (g_signalPipe[0] >= 0) {
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, app.get());
    QObject::connect(notifier, &QSocketNotifier::activated, [&] {
      char buf[16];
      while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
      }
      // Whatever hangs, the process is gone shortly after being told to stop.
      static bool armed = false;
      if (!armed) {
        armed = true;
        ::signal(SIGALRM, SIG_DFL);
        ::alarm(kStopLimitSeconds);
      }
      station.WMEndSession();
      app->quit();
    });
  }

  // Simulated time runs its cycles back to back, then closes; real time runs
  // the event loop until the window closes or a signal ends the session.
  auto run = [&]() -> int {
    NotifyServiceReady();
    if (simClock) {
      RunSimulated(station, *simClock, cl.runFor);
      return 0;
    }
    // Told to stop before the loop began: a quit from then is already spent.
    if (station.State().Closing) {
      station.FormClose();
      return 0;
    }
    const int rc = app->exec();
    station.FormClose();
    return rc;
  };

  if (headless) {
    QObject::connect(&station, &StationController::closeRequested, [&] {
      station.FormClose();
      app->quit();
    });
    station.FormCreate();
    return run();
  }

  auto* gui = static_cast<QApplication*>(app.get());
  gui->setQuitOnLastWindowClosed(true);
  TMainForm form(station);
  QObject::connect(gui, &QGuiApplication::commitDataRequest, [&](QSessionManager&) {
    station.WMEndSession();
    form.close();
  });
  form.FormCreate();
  form.show();
  return run();
}
