#include <gtest/gtest.h>

#include <algorithm>

#include "mseed/mseed_record.h"
#include "mseed_test_support.h"

namespace {

constexpr int64_t kNoonUs = 1'768'478'400'000'000LL;  // 2026-01-15 12:00:00

struct Collected {
  std::vector<MseedRecord> records;
  MiniSeedPacker::Sink Sink() {
    return [this](const MseedRecord& r) { records.push_back(r); };
  }
};

// Seconds of one channel fed to the packer as the station does.
void FeedSeconds(MiniSeedPacker& p, const std::string& channel, const std::vector<int32_t>& v,
                 int64_t startUs, SecondTiming timing, int perSecond = 100) {
  for (size_t at = 0; at < v.size(); at += perSecond)
    p.AddSecond(channel, startUs + static_cast<int64_t>(at / perSecond) * 1'000'000, v.data() + at,
                std::min<size_t>(perSecond, v.size() - at), timing);
}

struct TimingCase {
  const char* name;
  bool fromPulse, timeValid;
  int quality;
  uint8_t io, dq;
};

class PackerTiming : public ::testing::TestWithParam<TimingCase> {};

TEST_P(PackerTiming, RecordsDecodeToTheSamplesWithTheirTiming) {
  const TimingCase& c = GetParam();
  Collected out;
  MiniSeedPacker packer("XX", "IDX", "00", 100.0, out.Sink());
  const std::vector<int32_t> signal = TestSignal(6000, 7);
  FeedSeconds(packer, "BHZ", signal, kNoonUs, TimingOf(c.fromPulse, c.timeValid));
  packer.FlushAll();

  std::vector<int32_t> decoded;
  int64_t expectedStart = kNoonUs;
  for (const MseedRecord& r : out.records) {
    const DecodedRecord d = Decode(r.Data.data());
    ASSERT_TRUE(d.Ok);
    EXPECT_EQ(d.Encoding, DE_STEIM2);
    EXPECT_EQ(d.Quality, c.quality);
    EXPECT_EQ(d.IoFlags & 0x20, c.io);
    EXPECT_EQ(d.DqFlags & 0x80, c.dq);
    EXPECT_EQ(d.Channel, "BHZ");
    EXPECT_EQ(d.StartUs, expectedStart);
    EXPECT_EQ(r.StartUs, expectedStart);
    EXPECT_EQ(r.Samples, static_cast<int32_t>(d.Samples.size()));
    EXPECT_LE(r.Samples, 1000) << "a record holds at most 10 s";
    // Big-endian header, B1000 at 48 and B1001 at 56, data from 64.
    EXPECT_EQ(Be16At(&r.Data[20]), 2026);
    EXPECT_EQ(Be16At(&r.Data[44]), 64);
    EXPECT_EQ(Be16At(&r.Data[46]), 48);
    EXPECT_EQ(Be16At(&r.Data[48]), 1000);
    EXPECT_EQ(Be16At(&r.Data[50]), 56);
    EXPECT_EQ(Be16At(&r.Data[56]), 1001);
    EXPECT_EQ(std::string(&r.Data[18], 2), "XX");
    EXPECT_EQ(std::string(&r.Data[13], 2), "00");
    decoded.insert(decoded.end(), d.Samples.begin(), d.Samples.end());
    expectedStart += static_cast<int64_t>(d.Samples.size()) * 10'000;
  }
  EXPECT_EQ(decoded, signal);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, PackerTiming,
    ::testing::Values(TimingCase{"PulseValid", true, true, 100, 0x20, 0},
                      TimingCase{"ClockValid", false, true, 50, 0, 0},
                      TimingCase{"PulseNotValid", true, false, 0, 0x20, 0x80},
                      TimingCase{"ClockNotValid", false, false, 0, 0, 0x80}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Packer, FullRecordsLeaveAtOnceAndNoRecordWaitsBeyondTenSeconds) {
  Collected out;
  MiniSeedPacker fast("XX", "IDX", "", 100.0, out.Sink());
  // At 100 Hz records fill within seconds and leave before the shutdown flush.
  FeedSeconds(fast, "BHZ", TestSignal(2000, 3), 0, TimingOf(true, true));
  EXPECT_GE(out.records.size(), 3u);
  // At 20 Hz a flat signal never fills one: it leaves when it holds 10 s.
  out.records.clear();
  MiniSeedPacker slow("XX", "IDX", "", 20.0, out.Sink());
  const std::vector<int32_t> flat(20, 5);
  for (int s = 0; s < 9; ++s)
    slow.AddSecond("HYP", kNoonUs + s * 1'000'000LL, flat.data(), flat.size(), TimingOf(true, true));
  EXPECT_TRUE(out.records.empty());
  slow.AddSecond("HYP", kNoonUs + 9'000'000LL, flat.data(), flat.size(), TimingOf(true, true));
  ASSERT_EQ(out.records.size(), 1u);
  EXPECT_EQ(out.records.back().Samples, 200);
  EXPECT_EQ(Decode(out.records.back().Data.data()).Samples, std::vector<int32_t>(200, 5));
}

TEST(Packer, GapTimingChangeAndMidnightStartNewRecords) {
  Collected out;
  MiniSeedPacker packer("XX", "IDX", "", 100.0, out.Sink());
  const std::vector<int32_t> flat(100, 1);
  const int64_t beforeMidnight = 1'768'521'597'000'000LL;  // 2026-01-15 23:59:57
  auto add = [&](int64_t t, SecondTiming timing) {
    packer.AddSecond("BHZ", t, flat.data(), flat.size(), timing);
  };
  add(beforeMidnight, TimingOf(true, true));
  add(beforeMidnight + 1'000'000, TimingOf(true, true));
  add(beforeMidnight + 2'000'000, TimingOf(true, true));
  add(beforeMidnight + 3'000'000, TimingOf(true, true));   // 00:00:00, a new day
  add(beforeMidnight + 4'000'000, TimingOf(false, true));  // clock tag
  add(beforeMidnight + 5'500'000, TimingOf(false, true));  // half a second later than due
  packer.FlushAll();
  ASSERT_EQ(out.records.size(), 4u);
  const int64_t starts[] = {beforeMidnight, beforeMidnight + 3'000'000,
                            beforeMidnight + 4'000'000, beforeMidnight + 5'500'000};
  const int32_t counts[] = {300, 100, 100, 100};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Decode(out.records[i].Data.data()).StartUs, starts[i]);
    EXPECT_EQ(out.records[i].Samples, counts[i]);
  }
}

TEST(Packer, ChannelsWithoutCodesGetStateOfHealthCodes) {
  struct Case {
    double rate;
    int input;
    bool pulse;
    const char* code;
  } cases[] = {{100, 6, true, "HYP"}, {100, 4, false, "HY4"}, {20, 3, true, "BYP"},
               {1000, 7, false, "FY7"}, {1, 6, true, "LYP"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(StateOfHealthCode(c.rate, c.input, c.pulse), c.code);
  }
  EXPECT_EQ(LowGainCode("BHZ"), "BLZ");
}

}  // namespace
