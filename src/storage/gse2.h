#pragma once
// GSE2.0 data files in the INT format, as the station writes them:
//
//   BEGIN GSE2.0\n\n                      (only when the file is created)
//   WID2 ...\nDAT2\n<data lines>\nCHK2 n\n\n   (per segment, per saved channel)
//   STOP                                    (no line feed; overwritten by the next append)
//
// Lines end with LF only. The writer issues one write per WID2+DAT2 header, one
// per data line and one per CHK2 trailer, and nothing else.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/datetime.h"

constexpr int64_t kGse2ChecksumModulus = 100'000'000;
// Data lines never reach this length.
constexpr size_t kGse2LineLimit = 132;
constexpr size_t kWid2BaseWidth = 105;
inline constexpr char kGse2Begin[] = "BEGIN GSE2.0\n\n";
inline constexpr char kGse2Stop[] = "STOP";

// Everything the WID2 line says about one channel block.
struct Wid2Fields {
  TDateTime Start = 0;
  std::string Station;
  std::string Channel;
  std::string AuxId;
  int32_t SampleCount = 0;
  double SampleRate = 0;
  double Calibration = 0;
  std::string Instrument;
};

// One WID2 column: the 1-based column where the text starts and its limit.
struct Wid2Column {
  const char* Field;
  int Column;
  int Limit;
};

// The WID2 layout; every field of the line is placed through this table.
inline constexpr Wid2Column kWid2Layout[] = {
    {"line type", 1, 4},
    {"date and time", 6, 23},
    {"station", 30, 5},
    {"channel", 36, 3},
    {"auxiliary id", 40, 4},
    {"data format", 45, 3},
    {"number of samples", 49, 6},
    {"sample rate", 58, 11},
    {"calibration", 70, 10},
    {"calibration period", 81, 5},
    {"instrument type", 89, 6},
    {"horizontal orientation", 96, 4},
    {"vertical orientation", 102, 4},
};
constexpr size_t kWid2FieldCount = sizeof(kWid2Layout) / sizeof(kWid2Layout[0]);

// "2005/01/15 12:00:00.000", locale-free.
std::string FormatWid2Time(TDateTime t);
// Rounded to 4 significant digits, 6 decimals: 100 -> "100.000000".
std::string FormatWid2SampleRate(double rate);
// 5 significant digits, signed exponent of at least 2 digits: "1.0000E+00".
std::string FormatWid2Calibration(double value);
// The field texts in layout order, before cutting to their limits.
std::vector<std::string> Wid2FieldTexts(const Wid2Fields& f);
// The WID2 line without its line feed: 105 spaces with every text inserted at
// its column, so the length is 105 plus the lengths of the (cut) texts.
std::string FormatWid2Line(const Wid2Fields& f);

// GSE2.0 checksum: values and the running sum are reduced by truncating
// remainder when they reach the modulus; the result is the final magnitude.
int64_t Gse2Checksum(const int32_t* values, size_t count, size_t stride = 1);
inline int64_t Gse2Checksum(const std::vector<int32_t>& v) { return Gse2Checksum(v.data(), v.size()); }

// Splits one channel's values into INT data lines (without line feeds), each
// at most 131 characters, values separated by one space.
class Gse2LineBuilder {
 public:
  // Returns true and fills `full` when adding `value` closed the current line.
  bool Add(int32_t value, std::string& full);
  // The last, partial line; false when there is none.
  bool Finish(std::string& last);

 private:
  std::string m_line;
};

// How long a writer waits for history reads of its file to end.
constexpr int64_t kGse2ReaderWaitMs = 10'000;
constexpr int64_t kGse2ReaderPollMs = 10;

// Length of the part of a file that ends with a complete block (after its
// CHK2 line and the empty line), or after the BEGIN header when no block is
// complete; -1 when the bytes do not start like a GSE2 file. `tail` holds the
// file's bytes from offset `tailFrom`; `header` its first bytes.
int64_t Gse2CompleteLength(const std::string& header, const std::string& tail, int64_t tailFrom);

// Cuts a torn file (one that does not end in "STOP") back to its last
// complete block. Returns the new length, or -1 with `error` set; `cut`
// receives the number of bytes removed (0 when nothing was torn).
int64_t RepairTornGse2(int fd, int64_t size, int64_t& cut, std::string& error);

// Appends segments to one GSE2 file through a file descriptor, one write per
// line. After the first failure every further write is skipped and fails too,
// and the reason is kept.
class Gse2FileWriter {
 public:
  Gse2FileWriter() = default;
  ~Gse2FileWriter();
  Gse2FileWriter(const Gse2FileWriter&) = delete;
  Gse2FileWriter& operator=(const Gse2FileWriter&) = delete;

  // Creates the file with its BEGIN header, or opens an existing one and
  // positions over its closing "STOP". A file torn by a crash (not ending in
  // "STOP") is first cut back to its last complete block (RepairNote says
  // what was cut). Fails while another writer holds the file (an exclusive
  // flock, kept until Close); waits, up to kGse2ReaderWaitMs, while history
  // reads hold it shared.
  bool Open(const std::string& path);
  // Replaces the pause between looks at a reader's lock (a test's pause
  // releases the lock instead of sleeping).
  void SetReaderWait(std::function<void(int64_t ms)> sleep, int64_t limitMs = kGse2ReaderWaitMs) {
    m_sleep = std::move(sleep);
    m_readerWaitMs = limitMs;
  }
  // Empty unless Open cut a torn file; else one sentence for the log.
  const std::string& RepairNote() const { return m_repairNote; }
  // One block: WID2 and DAT2, the data lines of values[0], values[stride], …
  // (count values) and the CHK2 trailer with its empty line.
  bool WriteBlock(const Wid2Fields& header, const int32_t* values, size_t count, size_t stride);
  // Writes "STOP"; the byte count of that write (4), or -1 after any failure.
  int WriteStop();
  void Close();

  bool Failed() const { return m_failed; }
  const std::string& Error() const { return m_error; }

 private:
  bool WriteAll(const char* data, size_t size);
  void Fail(const std::string& what, int err);
  bool LockOut();

  int m_fd = -1;
  std::function<void(int64_t)> m_sleep;
  int64_t m_readerWaitMs = kGse2ReaderWaitMs;
  std::string m_repairNote;
  bool m_failed = false;
  std::string m_error;
};
