#include "station/event_log.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace {

// Lines from several threads keep each thread's order, none is torn, the
// file's earlier lines stay and every line is one reported job.
TEST(EventLog, AppendsInRequestOrderWithCrLfAndNeverTruncatesOrTears) {
  TempDir dir;
  const std::string path = dir.Path("velkor.log");
  WriteFile(path, "earlier line\r\n");
  ManualClock clock(DateTimeToUnixMs(EncodeDateTime(2026, 3, 1, 23, 59, 59, 999)));
  RecordingHost host;
  {
    EventLog log(host, clock);
    log.Configure(path, true);
    EXPECT_EQ(log.Append("Inf: one"), "01.03.2026 23:59:59.999 Inf: one");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        for (int i = 0; i < 100; ++i) log.Append("Inf: thread " + std::to_string(t) + " " + std::to_string(i));
      });
    for (auto& th : threads) th.join();
    log.Drain();
  }
  const auto lines = CrLfLines(ReadFile(path));
  ASSERT_EQ(lines.size(), 402u);
  EXPECT_EQ(std::vector(lines.begin(), lines.begin() + 2),
            (std::vector<std::string>{"earlier line", "01.03.2026 23:59:59.999 Inf: one"}));
  int next[4] = {0, 0, 0, 0};
  for (size_t k = 2; k < lines.size(); ++k) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(lines[k].c_str() + 24, "Inf: thread %d %d", &t, &i), 2) << lines[k];
    EXPECT_EQ(i, next[t]++);
  }
  EXPECT_EQ(host.Started(), 401);
  EXPECT_EQ(host.Codes(), std::vector<int>(401, kLogAppended));
}

// Logging off writes and counts nothing; a file that cannot be written is
// one job reported with the failure code.
TEST(EventLog, OffOrUnwritableLogWritesNothing) {
  for (bool enabled : {false, true}) {
    TempDir dir;
    ManualClock clock;
    RecordingHost host;
    {
      EventLog log(host, clock);
      log.Configure(dir.Path(enabled ? "no-such-dir/velkor.log" : "velkor.log"), enabled);
      EXPECT_EQ(log.Append("Inf: x").empty(), !enabled);
      log.Drain();
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path("")));
    EXPECT_EQ(host.Started(), enabled ? 1 : 0);
    EXPECT_EQ(host.Codes(), enabled ? std::vector<int>{kLogFailed} : std::vector<int>{});
  }
}

// A log whose last line was torn (disk full, crash) gets it ended before the
// next line, so that START never glues onto it.
TEST(EventLog, TornLastLineIsEndedBeforeTheNextAppend) {
  struct Case { const char* name; std::string before, after; };
  for (const Case& c : {Case{"torn mid-line", "a\r\nhalf a li", "a\r\nhalf a li\r\nnext\r\n"},
                        Case{"torn after CR", "a\r\nwhole\r", "a\r\nwhole\r\nnext\r\n"},
                        Case{"whole", "a\r\n", "a\r\nnext\r\n"},
                        Case{"empty", "", "next\r\n"}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFile(dir.Path("velkor.log"), c.before);
    ASSERT_TRUE(EventLog::AppendLine(dir.Path("velkor.log"), "next"));
    EXPECT_EQ(ReadFile(dir.Path("velkor.log")), c.after);
  }
}

}  // namespace
