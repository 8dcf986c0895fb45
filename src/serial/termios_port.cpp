#include "serial/termios_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr std::size_t kRxLimit = 64 * 1024;

// Interrupts a TIOCMIWAIT so that close never hangs on a silent line.
int WakeSignal() { return SIGRTMIN + 7; }

void InstallWakeSignal() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction sa {};
    sa.sa_handler = [](int) {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: the ioctl must return EINTR
    sigaction(WakeSignal(), &sa, nullptr);
  });
}

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

unsigned ToLines(int bits) {
  unsigned lines = 0;
  if (bits & TIOCM_CTS) lines |= clCTS;
  if (bits & TIOCM_DSR) lines |= clDSR;
  if (bits & TIOCM_RNG) lines |= clRing;
  if (bits & TIOCM_CD) lines |= clRLSD;
  return lines;
}

speed_t SpeedConstant(int bps) {
  switch (bps) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return 0;
  }
}

void SetModemBit(int fd, int bit, bool on) {
  (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit);  // not every device has the line
}

}  // namespace

TermiosBackend::TermiosBackend(std::string devicePath, const Clock* clock)
    : m_path(std::move(devicePath)), m_clock(clock ? clock : &m_systemClock) {}

TermiosBackend::~TermiosBackend() { Close(); }

bool TermiosBackend::Open(const TComSettings& settings, ComBackendEvents events, std::string& error) {
  Close();
  const int fd = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = Errno(m_path);
    return false;
  }
  m_fd = fd;
  if (!Apply(settings, error)) {
    ::close(m_fd);
    m_fd = -1;
    return false;
  }
  int wake[2];
  if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = Errno("pipe");
    ::close(m_fd);
    m_fd = -1;
    return false;
  }
  m_wakeRead = wake[0];
  m_wakeWrite = wake[1];
  (void)tcflush(m_fd, TCIOFLUSH);
  {
    std::lock_guard lock(m_rxMutex);
    m_rx.clear();
  }
  m_events = std::move(events);
  m_stop = false;
  m_failed = false;
  m_lineDone = false;
  InstallWakeSignal();
  const TThreadPriority priority = settings.EventThreadPriority;
  m_rxThread = std::thread([this, priority] { RxLoop(priority); });
  m_lineThread = std::thread([this, priority] { LineLoop(priority); });
  return true;
}

void TermiosBackend::Close() {
  if (m_fd < 0 && !m_rxThread.joinable() && !m_lineThread.joinable()) return;
  m_stop = true;
  if (m_wakeWrite >= 0) (void)::write(m_wakeWrite, "x", 1);
  const auto self = std::this_thread::get_id();
  if (m_rxThread.get_id() == self || m_lineThread.get_id() == self)
    return;  // closed from a handler: the next Open or the destructor finishes it
  JoinThreads();
}

void TermiosBackend::JoinThreads() {
  if (m_lineThread.joinable()) {
    while (!m_lineDone.load()) {
      pthread_kill(m_lineThread.native_handle(), WakeSignal());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_lineThread.join();
  }
  if (m_rxThread.joinable()) m_rxThread.join();
  if (m_fd >= 0) ::close(m_fd);
  if (m_wakeRead >= 0) ::close(m_wakeRead);
  if (m_wakeWrite >= 0) ::close(m_wakeWrite);
  m_fd = m_wakeRead = m_wakeWrite = -1;
}

unsigned LineFormatFlags(const TLineFormat& f) {
  unsigned flags = f.DataBits == 5 ? CS5 : f.DataBits == 6 ? CS6 : f.DataBits == 7 ? CS7 : CS8;
  if (f.Parity != TParityBits::prNone) flags |= PARENB;
  if (f.Parity == TParityBits::prOdd || f.Parity == TParityBits::prMark) flags |= PARODD;
  if (f.Parity == TParityBits::prMark || f.Parity == TParityBits::prSpace) flags |= CMSPAR;
  if (f.StopBits != TStopBits::sbOneStopBit) flags |= CSTOPB;
  return flags;
}

bool TermiosBackend::Apply(const TComSettings& settings, std::string& error) {
  if (m_fd < 0) return true;
  termios t{};
  if (tcgetattr(m_fd, &t) != 0) {
    error = Errno(m_path);
    return false;
  }
  cfmakeraw(&t);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= LineFormatFlags(settings.Format) | CLOCAL | CREAD;
  const TFlowControl& f = settings.FlowControl;
  // Linux has one hardware handshake (RTS/CTS); DSR output flow has no equivalent.
  if (f.OutCTSFlow || f.ControlRTS == TRTSFlowControl::rtsHandshake) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (f.XonXoffOut) t.c_iflag |= IXON;
  if (f.XonXoffIn) t.c_iflag |= IXOFF;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const int bps = BaudRateValue(settings.BaudRate == TBaudRate::brCustom ? TBaudRate::br9600
                                                                         : settings.BaudRate);
  const speed_t speed = SpeedConstant(bps);
  if (speed != 0) {
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  }
  if (tcsetattr(m_fd, TCSANOW, &t) != 0) {
    error = Errno(m_path);
    return false;
  }
  if (speed == 0 && !SetCustomBaudRate(m_fd, bps)) {
    error = Errno(m_path + ": baud rate " + std::to_string(bps));
    return false;
  }
  SetModemBit(m_fd, TIOCM_DTR, f.ControlDTR != TDTRFlowControl::dtrDisable);
  if (f.ControlRTS != TRTSFlowControl::rtsHandshake)
    SetModemBit(m_fd, TIOCM_RTS, f.ControlRTS == TRTSFlowControl::rtsEnable);
  return true;
}

bool TermiosBackend::Drain(std::size_t& got, std::string& error) {
  got = 0;
  char buf[4096];
  while (true) {
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n > 0) {
      m_rx.append(buf, static_cast<std::size_t>(n));
      got += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) break;  // raw mode with VMIN 0: nothing more; a hang-up shows in poll
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    error = Errno(m_path);
    return false;
  }
  if (m_rx.size() > kRxLimit) m_rx.erase(0, m_rx.size() - kRxLimit);
  return true;
}

void TermiosBackend::ReportError(const std::string& error) {
  if (m_stop || m_failed.exchange(true)) return;
  if (m_events.Error) m_events.Error(error);
}

void TermiosBackend::RxLoop(TThreadPriority priority) {
  ApplyThreadPriority(priority);
  bool watchDevice = true;
  while (!m_stop) {
    pollfd fds[2] = {{watchDevice ? m_fd : -1, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      ReportError(Errno("poll"));
      break;
    }
    if (m_stop) break;
    if (fds[1].revents) {
      char sink[16];
      while (::read(m_wakeRead, sink, sizeof sink) > 0) {
      }
    }
    if (!watchDevice || fds[0].revents == 0) continue;
    std::size_t got = 0;
    std::string error;
    bool ok = true;
    if (fds[0].revents & POLLIN) {
      std::lock_guard lock(m_rxMutex);
      ok = Drain(got, error);
    }
    if (ok && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
      ok = false;
      error = m_path + ": device hung up";
    }
    if (got > 0 && m_events.RxChar) m_events.RxChar(got);
    if (!ok) {
      ReportError(error);
      watchDevice = false;  // an unplugged device would wake the poll forever
    }
  }
}

void TermiosBackend::LineLoop(TThreadPriority priority) {
  ApplyThreadPriority(priority);
  int previous = 0;
  if (ioctl(m_fd, TIOCMGET, &previous) != 0) {
    m_lineDone = true;  // no modem lines here (a pseudo-terminal): data only
    return;
  }
  serial_icounter_struct lastCount{};
  const bool counted = ioctl(m_fd, TIOCGICOUNT, &lastCount) == 0;
  while (!m_stop) {
    const int waited = ioctl(m_fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD);
    // The pulse's time: before anything else, so no later work adds to it.
    const int64_t stamp = m_clock->NowUnixMs();
    if (waited != 0) {
      if (errno == EINTR) continue;
      if (errno == EIO) ReportError(Errno(m_path));
      break;  // ENOTTY/EINVAL: the driver cannot wait on lines
    }
    if (m_stop) break;  // closed while waiting: the port may have a new backend
    int state = 0;
    if (ioctl(m_fd, TIOCMGET, &state) != 0) {
      ReportError(Errno(m_path));
      break;
    }
    unsigned changed = 0;
    serial_icounter_struct count{};
    // The counters also catch a pulse shorter than the wake-up (both edges gone).
    if (counted && ioctl(m_fd, TIOCGICOUNT, &count) == 0) {
      if (count.cts != lastCount.cts) changed |= clCTS;
      if (count.dsr != lastCount.dsr) changed |= clDSR;
      if (count.rng != lastCount.rng) changed |= clRing;
      if (count.dcd != lastCount.dcd) changed |= clRLSD;
      lastCount = count;
    }
    if (changed == 0) changed = ToLines(state ^ previous);
    previous = state;
    if (changed != 0 && m_events.LineChange) m_events.LineChange(changed, ToLines(state), stamp);
  }
  m_lineDone = true;
}

bool TermiosBackend::Write(const std::string& data, std::string& error) {
  if (m_fd < 0) {
    error = m_path + ": not open";
    return false;
  }
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(1000 + 100 * data.size());
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(m_fd, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      error = Errno(m_path);
      return false;
    }
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    pollfd p{m_fd, POLLOUT, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) == 0) {
      error = m_path + ": write time-out";
      return false;
    }
  }
  return true;
}

std::string TermiosBackend::ReadAvailable(std::size_t max) {
  std::lock_guard lock(m_rxMutex);
  if (m_fd >= 0 && !m_failed) {
    std::size_t got = 0;
    std::string error;
    (void)Drain(got, error);  // a failure is the event thread's to report
  }
  std::string out = m_rx.substr(0, max);
  m_rx.erase(0, out.size());
  return out;
}

void TermiosBackend::ClearBuffers(bool input, bool output) {
  if (m_fd >= 0 && (input || output))
    (void)tcflush(m_fd, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH);
  if (input) {
    std::lock_guard lock(m_rxMutex);
    m_rx.clear();
  }
}

bool TermiosBackend::SetDTR(bool on) {
  int bit = TIOCM_DTR;
  return m_fd >= 0 && ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

unsigned TermiosBackend::LineState() {
  int bits = 0;
  if (m_fd < 0 || ioctl(m_fd, TIOCMGET, &bits) != 0) return 0;
  return ToLines(bits);
}
