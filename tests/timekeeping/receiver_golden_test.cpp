// Each receiver log decodes to what its .chk file under golden/ says: one line
// per $GPRMC, read as the station reads it (77 characters from the sentence
// start). Regenerate with VELKOR_REGENERATE_GOLDEN=1 and review the diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/shared_testdata.h"
#include "support/temp_dir.h"
#include "timekeeping/nmea.h"

namespace {

namespace fs = std::filesystem;

// Not from __FILE__: with ccache it may be relative to the build directory.
const fs::path kGoldenDir = fs::path(VELKOR_TEST_DATA).parent_path() / "timekeeping" / "golden";

// What the port would deliver from a receiver log: its '#' lines removed.
std::string Stream(const fs::path& file) {
  std::istringstream in(ReadFile(file.string()));
  std::string line, out;
  while (std::getline(in, line))
    if (line.empty() || line[0] != '#') out += line + "\n";
  return out;
}

std::string Decode(const std::string& stream) {
  std::ostringstream out;
  for (std::size_t at = stream.find("$GPRMC"); at != std::string::npos; at = stream.find("$GPRMC", at + 1)) {
    const std::string reading = stream.substr(at, kGPSReadingLength);
    TSystemTime record = UnixMsToSystemTime(0);
    bool valid = false;
    const bool ok = DecodeRMCTime(reading, record, valid, 1);
    TGPSInfoTexts dm, dec;
    const bool shown = FormatGPSInfo(reading, 1, false, dm);
    FormatGPSInfo(reading, 1, true, dec);
    out << (ok ? "ok" : "bad") << (valid ? " A " : " - ") << FormatDateDMY(record) << ' ' << FormatTimeHMS(record)
        << " | " << (shown ? "shown" : "none") << " | " << dm.GPSDate << " | " << dm.GPSTime << " | " << dm.Latitude
        << " | " << dm.Longitude << " | " << dec.Latitude << " | " << dec.Longitude << " | " << dm.Altitude << "\n";
  }
  return out.str();
}

// Each log decodes as recorded; cut at arbitrary places, as a reading may
// begin, it never breaks the running time.
TEST(ReceiverGolden, EveryLogDecodesAsRecordedAndSurvivesAnyCut) {
  VELKOR_REQUIRE_SHARED_NMEA();
  const bool regenerate = std::getenv("VELKOR_REGENERATE_GOLDEN") != nullptr;
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(SharedNmeaDir())) {
    if (entry.path().extension() != ".log") continue;
    SCOPED_TRACE(entry.path().string());
    const std::string stream = Stream(entry.path());
    const std::string decoded = Decode(stream);
    const std::string chk = (kGoldenDir / (entry.path().stem().string() + ".chk")).string();
    if (regenerate) WriteFile(chk, decoded);
    ASSERT_TRUE(fs::exists(chk)) << chk;
    EXPECT_EQ(decoded, ReadFile(chk));
    ++checked;

    TSystemTime record = UnixMsToSystemTime(1'577'836'800'000);  // 2020-01-01
    for (std::size_t at = 0; at < stream.size(); at += 53) {
      const std::string reading = stream.substr(at, kGPSReadingLength);
      bool valid = false;
      DecodeRMCTime(reading, record, valid, 1);
      ASSERT_TRUE(SystemTimeIsValid(record));
      TGPSInfoTexts t;
      FormatGPSInfo(reading, 1, true, t);
      FormatGPSInfo(reading, 1, false, t);
      EXPECT_TRUE(t.GPSTime.empty() || t.GPSTime.size() == 8u) << reading;
    }
  }
  EXPECT_EQ(checked, 8);
}

}  // namespace
