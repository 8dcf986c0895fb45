#pragma once
// A scripted device behind a port. Each written command (terminator included)
// is checked against the next expected one and answered with its text; an
// empty answer is silence, and so is every write beyond the script. The test
// fires the device's events by hand through `events`.
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "serial/com_backend.h"
#include "serial/comport.h"

struct ComScript {
  std::mutex mutex;
  std::deque<std::pair<std::string, std::string>> steps;
  std::vector<std::string> written, mismatches;
  std::string rx;     // what the device has sent, not yet read
  unsigned lines = 0;  // TComLine bits the device holds
  bool refuseOpen = false;
  int opens = 0, closes = 0;
  TComSettings settings;
  ComBackendEvents events;
};

class ScriptedCom final : public ComBackend {
 private:
  // Defined first: the members below deduce their results from it.
  template <class F>
  auto Locked(F f) {
    std::lock_guard lock(m_s->mutex);
    return f();
  }

 public:
  explicit ScriptedCom(std::shared_ptr<ComScript> s) : m_s(std::move(s)) {}
  bool Open(const TComSettings& settings, ComBackendEvents events, std::string& error) override {
    std::lock_guard lock(m_s->mutex);
    if (m_s->refuseOpen) {
      error = "cannot open";
      return false;
    }
    ++m_s->opens;
    m_s->settings = settings;
    m_s->events = std::move(events);
    return true;
  }
  void Close() override { Locked([&] { ++m_s->closes; }); }
  bool Apply(const TComSettings& settings, std::string&) override {
    Locked([&] { m_s->settings = settings; });
    return true;
  }
  bool Write(const std::string& data, std::string&) override {
    std::lock_guard lock(m_s->mutex);
    m_s->written.push_back(data);
    if (m_s->steps.empty()) return true;
    auto [expected, answer] = m_s->steps.front();
    m_s->steps.pop_front();
    if (expected != data) m_s->mismatches.push_back("expected " + expected + " got " + data);
    m_s->rx += answer;
    return true;
  }
  std::string ReadAvailable(std::size_t max) override {
    std::lock_guard lock(m_s->mutex);
    std::string out = m_s->rx.substr(0, max);
    m_s->rx.erase(0, out.size());
    return out;
  }
  void ClearBuffers(bool input, bool) override { if (input) Locked([&] { m_s->rx.clear(); }); }
  bool SetDTR(bool) override { return true; }
  unsigned LineState() override { return Locked([&] { return m_s->lines; }); }

 private:
  std::shared_ptr<ComScript> m_s;
};

inline void UseScript(TComPort& port, const std::shared_ptr<ComScript>& script) {
  port.SetPort("COM2");
  port.SetBackendFactory([script](const std::string&, std::string&) -> std::unique_ptr<ComBackend> {
    return std::make_unique<ScriptedCom>(script);
  });
}
