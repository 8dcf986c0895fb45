#include "serial/sim_gps.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr std::size_t kRxLimit = 64 * 1024;
constexpr int64_t kMaxCatchUpMs = 5000;

int64_t FloorSecond(int64_t ms) { return (ms >= 0 ? ms : ms - 999) / 1000 * 1000; }

}  // namespace

std::string NMEASentence(const std::string& body) {
  unsigned sum = 0;
  for (unsigned char c : body) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum & 0xFF);
  return "$" + body + tail;
}

SimGpsReceiver::SimGpsReceiver(SimGpsOptions options)
    : m_options(std::move(options)), m_clock(m_options.clock ? m_options.clock : &m_systemClock) {}

SimGpsReceiver::~SimGpsReceiver() {
  Close();
  // Only when destroyed by its own handler, which the port never does.
  if (m_thread.joinable()) m_thread.detach();
}

bool SimGpsReceiver::Open(const TComSettings& settings, ComBackendEvents events, std::string&) {
  Close();
  m_events = std::move(events);
  {
    std::lock_guard lock(m_pumpMutex);
    m_nextSecond = FloorSecond(m_clock->NowUnixMs()) + 1000;
    m_risen = false;
    m_pulses = 0;
  }
  {
    std::lock_guard lock(m_rxMutex);
    m_rx.clear();
    m_lines = 0;
  }
  m_open = true;
  if (m_options.Threaded) {
    std::lock_guard lock(m_threadMutex);
    m_stop = false;
    const TThreadPriority priority = settings.EventThreadPriority;
    m_thread = std::thread([this, priority] {
      ApplyThreadPriority(priority);
      ThreadLoop();
    });
  }
  return true;
}

void SimGpsReceiver::Close() {
  {
    std::lock_guard lock(m_threadMutex);
    m_stop = true;
  }
  m_wake.notify_all();
  // Closed from its own handler, the loop ends on return; whoever destroys
  // the receiver later joins it, so the thread never outlives the object.
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
  m_open = false;
}

void SimGpsReceiver::ThreadLoop() {
  std::unique_lock lock(m_threadMutex);
  while (!m_stop) {
    lock.unlock();
    Pump();
    lock.lock();
    m_wake.wait_for(lock, std::chrono::milliseconds(m_options.PollMs), [this] { return m_stop; });
  }
}

bool SimGpsReceiver::Write(const std::string&, std::string&) { return true; }

std::string SimGpsReceiver::ReadAvailable(std::size_t max) {
  std::lock_guard lock(m_rxMutex);
  std::string out = m_rx.substr(0, max);
  m_rx.erase(0, out.size());
  return out;
}

void SimGpsReceiver::ClearBuffers(bool input, bool) {
  if (!input) return;
  std::lock_guard lock(m_rxMutex);
  m_rx.clear();
}

unsigned SimGpsReceiver::LineState() {
  std::lock_guard lock(m_rxMutex);
  return m_lines;
}

int64_t SimGpsReceiver::PulseCount() const {
  std::lock_guard lock(m_pumpMutex);
  return m_pulses;
}

void SimGpsReceiver::SetLine(bool on) {
  const int64_t stamp = m_clock->NowUnixMs();
  const unsigned line = m_options.PPSLine;
  if (line == 0) return;
  unsigned state;
  {
    std::lock_guard lock(m_rxMutex);
    m_lines = on ? (m_lines | line) : (m_lines & ~line);
    state = m_lines;
  }
  if (m_events.LineChange) m_events.LineChange(line, state, stamp);
}

std::string SimGpsReceiver::SentencesFor(int64_t secondUnixMs) const {
  const DateTimeParts p = DecodeDateTime(UnixMsToDateTime(secondUnixMs));
  char hms[16], dmy[16];
  std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", p.hour, p.minute, p.second);
  std::snprintf(dmy, sizeof dmy, "%02d%02d%02d", p.day, p.month, p.year % 100);
  const SimGpsOptions& o = m_options;
  const std::string position = o.Latitude + "," + o.LatHemisphere + "," + o.Longitude + "," + o.LonHemisphere;
  return NMEASentence("GPRMC," + std::string(hms) + ",A," + position + ",0.0,0.0," + dmy + ",,,A") +
         NMEASentence("GPGGA," + std::string(hms) + "," + position + ",1,08,0.9," + o.Altitude +
                      ",M,46.9,M,,");
}

void SimGpsReceiver::Pump() {
  std::lock_guard pump(m_pumpMutex);
  if (!m_open) return;
  const int64_t now = m_clock->NowUnixMs();
  if (now < m_nextSecond - 1000 - m_options.PulseWidthMs) {
    m_nextSecond = FloorSecond(now) + 1000;  // the clock was set back
    m_risen = false;
  } else if (now - m_nextSecond > kMaxCatchUpMs) {
    m_nextSecond = FloorSecond(now);  // the clock jumped ahead
    m_risen = false;
  }
  // A pulse marks second S: the line rises before it and falls at S. A
  // handler may close the port; nothing more is delivered after that.
  while (m_open) {
    if (!m_risen && now >= m_nextSecond - m_options.PulseWidthMs) {
      SetLine(true);
      m_risen = true;
      if (!m_open) break;
    }
    if (now < m_nextSecond) break;
    SetLine(false);
    m_risen = false;
    ++m_pulses;
    if (!m_open) break;
    const std::string text = SentencesFor(m_nextSecond);
    {
      std::lock_guard lock(m_rxMutex);
      m_rx += text;
      if (m_rx.size() > kRxLimit) m_rx.erase(0, m_rx.size() - kRxLimit);
    }
    if (m_events.RxChar) m_events.RxChar(text.size());
    m_nextSecond += 1000;
  }
}

bool ManualClockSetter::SetUtc(int64_t unixMs, std::string&) {
  m_clock.SetUnixMs(unixMs);
  std::lock_guard lock(m_mutex);
  m_requests.push_back(unixMs);
  return true;
}

std::vector<int64_t> ManualClockSetter::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}
