#include <gtest/gtest.h>

#include <tuple>

#include "mseed_test_support.h"

namespace {

// name, tagged by the pulse, time valid; the timing quality, I/O flag 0x20 and data quality flag 0x80 it gives
using TimingCase = std::tuple<const char*, bool, bool, int, int, int>;

class PackerTiming : public ::testing::TestWithParam<TimingCase> {};

TEST_P(PackerTiming, RecordsDecodeToTheSamplesWithTheirTiming) {
  const auto& [name, fromPulse, timeValid, quality, io, dq] = GetParam();
  const std::vector<int32_t> signal = TestSignal(6000, 7);
  std::vector<int32_t> decoded;
  int64_t expectedStart = kNoonUs;
  for (const MseedRecord& r : Pack(signal, kNoonUs, 100, TimingOf(fromPulse, timeValid), "00")) {
    const DecodedRecord d = Decode(r.Data.data());
    ASSERT_TRUE(d.Ok);
    EXPECT_EQ(d.Encoding, DE_STEIM2);
    EXPECT_EQ(d.Quality, quality);
    EXPECT_EQ(d.IoFlags & 0x20, io);
    EXPECT_EQ(d.DqFlags & 0x80, dq);
    EXPECT_EQ(d.Channel, "BHZ");
    EXPECT_EQ(d.StartUs, expectedStart);
    EXPECT_EQ(r.StartUs, expectedStart);
    EXPECT_EQ(r.Samples, static_cast<int32_t>(d.Samples.size()));
    EXPECT_LE(r.Samples, 1000) << "a record holds at most 10 s";
    // Big-endian header: year at 20, data from 64, B1000 at 48 and B1001 at 56.
    const char* h = r.Data.data();
    EXPECT_EQ((std::vector<int>{Be16At(h + 20), Be16At(h + 44), Be16At(h + 46), Be16At(h + 48), Be16At(h + 50),
                                Be16At(h + 56)}),
              (std::vector<int>{2026, 64, 48, 1000, 56, 1001}));
    EXPECT_EQ(std::string(h + 18, 2) + std::string(h + 13, 2), "XX00");
    decoded.insert(decoded.end(), d.Samples.begin(), d.Samples.end());
    expectedStart += static_cast<int64_t>(d.Samples.size()) * 10'000;
  }
  EXPECT_EQ(decoded, signal);
}

INSTANTIATE_TEST_SUITE_P(Tags, PackerTiming,
                         ::testing::Values(TimingCase{"PulseValid", true, true, 100, 0x20, 0},
                                           TimingCase{"ClockValid", false, true, 50, 0, 0},
                                           TimingCase{"PulseNotValid", true, false, 0, 0x20, 0x80},
                                           TimingCase{"ClockNotValid", false, false, 0, 0, 0x80}),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

TEST(Packer, FullRecordsLeaveAtOnceAndNoRecordWaitsBeyondTenSeconds) {
  std::vector<MseedRecord> out;
  const auto sink = [&out](const MseedRecord& r) { out.push_back(r); };
  MiniSeedPacker fast("XX", "IDX", "", 100.0, sink);
  // At 100 Hz records fill within seconds and leave before the shutdown flush.
  const std::vector<int32_t> signal = TestSignal(2000, 3);
  for (int s = 0; s < 20; ++s)
    fast.AddSecond("BHZ", s * 1'000'000LL, signal.data() + s * 100, 100, TimingOf(true, true));
  EXPECT_GE(out.size(), 3u);
  // At 20 Hz a flat signal never fills one: it leaves when it holds 10 s.
  out.clear();
  MiniSeedPacker slow("XX", "IDX", "", 20.0, sink);
  const std::vector<int32_t> flat(20, 5);
  for (int s = 0; s < 10; ++s) {
    EXPECT_TRUE(out.empty());
    slow.AddSecond("HYP", kNoonUs + s * 1'000'000LL, flat.data(), flat.size(), TimingOf(true, true));
  }
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out.back().Samples, 200);
  EXPECT_EQ(Decode(out.back().Data.data()).Samples, std::vector<int32_t>(200, 5));
}

TEST(Packer, GapTimingChangeAndMidnightStartNewRecords) {
  std::vector<MseedRecord> out;
  MiniSeedPacker packer("XX", "IDX", "", 100.0, [&out](const MseedRecord& r) { out.push_back(r); });
  const std::vector<int32_t> flat(100, 1);
  const int64_t beforeMidnight = 1'768'521'597'000'000LL;  // 2026-01-15 23:59:57
  // 00:00:00 is a new day, then a clock tag, then a second half a second later than due.
  for (const auto& [offsetUs, pulse] : {std::pair{0LL, true}, {1'000'000LL, true}, {2'000'000LL, true},
                                        {3'000'000LL, true}, {4'000'000LL, false}, {5'500'000LL, false}})
    packer.AddSecond("BHZ", beforeMidnight + offsetUs, flat.data(), flat.size(), TimingOf(pulse, true));
  packer.FlushAll();
  std::vector<std::pair<int64_t, int32_t>> records;  // start after 23:59:57, samples
  for (const MseedRecord& r : out) records.push_back({Decode(r.Data.data()).StartUs - beforeMidnight, r.Samples});
  EXPECT_EQ(records, (std::vector<std::pair<int64_t, int32_t>>{{0, 300}, {3'000'000, 100}, {4'000'000, 100},
                                                                {5'500'000, 100}}));
}

TEST(Packer, ChannelsWithoutCodesGetStateOfHealthCodes) {
  for (const auto& [rate, input, pulse, code] : {std::tuple{100.0, 6, true, "HYP"}, {100.0, 4, false, "HY4"},
                                                 {20.0, 3, true, "BYP"}, {1000.0, 7, false, "FY7"},
                                                 {1.0, 6, true, "LYP"}})
    EXPECT_EQ(StateOfHealthCode(rate, input, pulse), code);
  EXPECT_EQ(LowGainCode("BHZ"), "BLZ");
}

}  // namespace
