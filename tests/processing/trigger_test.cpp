#include "processing/trigger.h"

#include <gtest/gtest.h>

#include "config/loadini.h"
#include "processing/alarm.h"

namespace {

// A window of `frames` frames with `value` on channel `channel` in the newest `hot` frames.
ArrayOfDataType Window(int frames, int channel, int hot, int32_t value) {
  ArrayOfDataType b(static_cast<size_t>(frames) * 8, 0);
  for (int f = frames - hot; f < frames; ++f) b[static_cast<size_t>(f) * 8 + channel] = value;
  return b;
}

TEST(STATest, MeanOfAbsoluteVelocityOverTheNewestWindowsAgainstTheThreshold) {
  // 100 frames a second, 0.5 s: a 400-value (50-frame) window.
  const ArrayOfDataType quiet = Window(1000, 0, 0, 0);
  EXPECT_FALSE(STATest(quiet.data(), 8000, 800, 1.0, 0.5, 800, 0, 100));
  // 50 frames of |-1000| on channel 0: the mean over a full window is 1000 > 800.
  const ArrayOfDataType loud = Window(1000, 0, 60, -1000);
  EXPECT_TRUE(STATest(loud.data(), 8000, 800, 1.0, 0.5, 800, 0, 100));
  EXPECT_FALSE(STATest(loud.data(), 8000, 800, 0.5, 0.5, 800, 0, 100));  // the factor turns counts into nm/s
  const ArrayOfDataType other = Window(1000, 1, 60, 5000);
  EXPECT_FALSE(STATest(other.data(), 8000, 800, 1.0, 0.5, 800, 0, 100));  // another channel's energy
  EXPECT_TRUE(STATest(other.data(), 8000, 800, 1.0, 0.5, 800, 1, 100));
  // Only the newest values and the window before them are searched.
  ArrayOfDataType b(8000, 0);
  for (int f = 100; f < 200; ++f) b[static_cast<size_t>(f) * 8] = 10000;
  EXPECT_FALSE(STATest(b.data(), 8000, 800, 1.0, 0.5, 800, 0, 100));
  EXPECT_TRUE(STATest(b.data(), 8000, 8000 - 400, 1.0, 0.5, 800, 0, 100));
  EXPECT_FALSE(STATest(b.data(), 8000, 8000, 1.0, 0.5, 800, 0, 100));  // a window reaching before the buffer
}

class TriggerRunTest : public ::testing::Test {
 protected:
  // The default station: 100 frames a second after resampling, STA over 0.5 s
  // from 800 nm/s down to 550 nm/s, 20 s before and 40 s after an event.
  void SetUp() override {
    tags.assign(185, {});
    for (int i = 0; i < 150; ++i) tags[i] = {EncodeDateTime(2026, 1, 15, 12, 0, 0) + i / 86400.0, i * 800};
  }
  TriggerDecision Run(bool loud) { return TriggerRun(state, P, loud ? hot : calm, tags, 800, 140); }

  TProgParam P = FileDefaults();
  TArrayOfPPS tags;
  TriggerState state;
  ArrayOfDataType hot = Window(18000, 0, 100, 2000), calm = Window(18000, 0, 0, 0);
};

TEST_F(TriggerRunTest, FivePositiveCyclesAreSavedInTheFortyFifthCycle) {
  EXPECT_TRUE(Run(true).EventBegan);
  EXPECT_TRUE(state.Detected);
  for (int i = 2; i <= 5; ++i) EXPECT_FALSE(Run(true).EventBegan);
  for (int i = 1; i < 40; ++i) ASSERT_FALSE(Run(false).Save) << i;
  const TriggerDecision d = Run(false);  // the 45th cycle of the event
  ASSERT_TRUE(d.Save);
  EXPECT_EQ(d.Seconds, 65);
  EXPECT_EQ(d.EventTime, tags[140 - 45 + 1].Time);
  EXPECT_EQ(d.StartTime, tags[140 - 65].Time);
  EXPECT_FALSE(state.Detected);
  EXPECT_EQ(state.TriggerCycles + state.QuietCycles, 0);
}

TEST_F(TriggerRunTest, ALongEventIsCutAtThreeQuartersOfTheTagArray) {
  for (int i = 1; i < 118; ++i) ASSERT_FALSE(Run(true).Save) << i;
  const TriggerDecision d = Run(true);
  ASSERT_TRUE(d.Save);
  EXPECT_EQ(d.Seconds, 138);
  // The next positive test starts a new event.
  EXPECT_TRUE(Run(true).EventBegan);
}

TEST_F(TriggerRunTest, TheStopThresholdHoldsARecordingThatTheStartThresholdWouldNotBegin) {
  const ArrayOfDataType middle = Window(18000, 0, 100, 600);  // between StopSTA and StartSTA
  EXPECT_FALSE(TriggerRun(state, P, middle, tags, 800, 140).EventBegan);
  EXPECT_FALSE(state.Detected);
  Run(true);
  TriggerRun(state, P, middle, tags, 800, 140);
  EXPECT_EQ(state.TriggerCycles, 2);
  EXPECT_EQ(state.QuietCycles, 0);
}

TEST_F(TriggerRunTest, DoubleSensitivityTriggersOnChannelOneWithItsFactor) {
  P.DoubleSensitivity = true;
  P.LSBin[1] = 0.1;
  const ArrayOfDataType ch1 = Window(18000, 1, 100, 2000);
  EXPECT_FALSE(TriggerRun(state, P, ch1, tags, 800, 140).EventBegan) << "200 nm/s is quiet";
  P.LSBin[1] = 1.0;
  EXPECT_TRUE(TriggerRun(state, P, ch1, tags, 800, 140).EventBegan);
}

TEST_F(TriggerRunTest, ZeroPostTimeSavesOnlyRecordedEvents) {
  P.PostTime = 0;
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(Run(false).Save);
  EXPECT_TRUE(Run(true).Save);
}

TEST(TriggerMessage, PeakTextAndMinutePattern) {
  EXPECT_EQ(TriggerPeakText(150000, 100, -100), " Z=0.150mm/s N=0.000mm/s E=0.000mm/s");
  EXPECT_EQ(TriggerPeakText(1500, -2345.678, 0), " Z=1.500um/s N=-2.346um/s E=0.000um/s");
  // Rounded once: 9.1915317 is 9.192, not 9.1915 then 9.191; above 99.999 five digits remain.
  EXPECT_EQ(TriggerPeakText(9191.5317, 12345.6789, 99999.4), " Z=9.192um/s N=12.346um/s E=99.999um/s");
  EXPECT_EQ(TriggerPeakText(123456.7, 0, 0), " Z=0.123mm/s N=0.000mm/s E=0.000mm/s");
  EXPECT_EQ(TriggerPeakText(1234.5678e6, 0, 0), " Z=1234.600mm/s N=0.000mm/s E=0.000mm/s");
  EXPECT_FALSE(TriggerMinuteAllows("05", EncodeDateTime(2026, 1, 1, 10, 23, 0)));
  EXPECT_TRUE(TriggerMinuteAllows("05", EncodeDateTime(2026, 1, 1, 10, 35, 0)));
  EXPECT_TRUE(TriggerMinuteAllows("05", EncodeDateTime(2026, 1, 1, 10, 0, 0)));
  EXPECT_TRUE(TriggerMinuteAllows("", EncodeDateTime(2026, 1, 1, 10, 23, 0)));
}

TEST(AlarmDetector, FifteenValuesInARowOfTheAlarmChannelWithinOneCycle) {
  AlarmDetector a(7, 5000);
  a.BeginCycle();
  int found = 0;
  for (int i = 0; i < 14; ++i) found += a.DetectAt(i * 8 + 7, 5000);  // equal counts as high
  EXPECT_FALSE(a.DetectAt(14 * 8 + 7, 4999));
  for (int i = 0; i < 14; ++i) found += a.DetectAt(i * 8 + 7, 9000);
  EXPECT_EQ(found, 0);
  EXPECT_FALSE(a.DetectAt(6, 9000)) << "other channels neither count nor break the run";
  EXPECT_TRUE(a.DetectAt(15 * 8 + 7, 9000));
  // A run straddling two cycles does not count.
  a.BeginCycle();
  for (int i = 0; i < 14; ++i) a.DetectAt(i * 8 + 7, 9000);
  a.BeginCycle();
  EXPECT_FALSE(a.DetectAt(7, 9000));
}

}  // namespace
