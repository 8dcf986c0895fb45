#include "storage/channel_table.h"

#include <cmath>
#include <limits>

namespace {

struct ChannelRow {
  std::string AuxId;
  std::string Code;
  bool Saved;
};

double LsbOf(const TProgParam& p, int input) {
  return input >= 0 && static_cast<size_t>(input) < p.LSBin.size() ? p.LSBin[input] : 1.0;
}

}  // namespace

std::vector<SavedChannel> BuildChannelTable(const TProgParam& p) {
  const bool FL = p.FullLoad, DS = p.DoubleSensitivity, ALL = p.AllChannels, GPS = p.SaveGPS,
             ALM = p.AlarmOn;
  const std::string& Z = p.Seismograph.FlagZ;
  const std::string& N = p.Seismograph.FlagN;
  const std::string& E = p.Seismograph.FlagE;
  const std::string alarm = !FL && ALM ? "ALRM" : "";
  ChannelRow rows[kChannelCount];
  if (!DS) {
    rows[0] = {"Z", Z, true};
    rows[1] = {"N", N, true};
    rows[2] = {"E", E, true};
    rows[3] = {FL ? "" : "GPS", "", ALL || (!FL && GPS)};
    rows[4] = {"", "", FL && ALL};
    rows[5] = {"", "", FL && ALL};
    rows[6] = {FL ? "GPS" : "", "", FL && (ALL || GPS)};
    rows[7] = {alarm, "", FL && ALL};
  } else {
    // Low gain on 0, 2, 4; high gain on 1, 3, 5.
    rows[0] = {"Z", Z, ALL};
    rows[1] = {"Z", Z, true};
    rows[2] = {"N", N, ALL};
    rows[3] = {"N", N, true};
    rows[4] = {"E", E, ALL};
    rows[5] = {"E", E, true};
    rows[6] = {"", "", ALL || GPS};
    rows[7] = {alarm, "", ALL && ALM};
  }
  if (p.PPSChannel >= 0 && p.PPSChannel < kChannelCount) rows[p.PPSChannel].AuxId = "GPS";

  std::vector<SavedChannel> saved;
  for (int input = 0; input < kChannelCount; ++input) {
    if (!rows[input].Saved) continue;
    saved.push_back({input, rows[input].AuxId, rows[input].Code, LsbOf(p, input)});
  }
  return saved;
}

int LowGainSourceFor(const TProgParam& p, bool highGainUsable, int input) {
  if (!p.DoubleSensitivity || p.AllChannels || highGainUsable) return -1;
  if (input == 1 || input == 3 || input == 5) return input - 1;
  return -1;
}

int32_t ConvertLowToHighGain(int32_t value, double lsbLow, double lsbHigh) {
  const double v = std::nearbyint(static_cast<double>(value) * lsbLow / lsbHigh);
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (v <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}
