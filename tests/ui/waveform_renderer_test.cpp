#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPainter>
#include <climits>
#include <cmath>
#include <functional>
#include <numbers>
#include <set>
#include <tuple>

#include "pixels.h"
#include "ui/waveform_renderer.h"

namespace {

const QRgb kYellow = qRgb(255, 255, 0);

// Interleaved frames, channel k of frame f = gen(f, k).
ArrayOfDataType MakeSamples(int frames, int nch, const std::function<int32_t(int, int)>& gen) {
  ArrayOfDataType v(static_cast<size_t>(frames) * nch);
  for (int f = 0; f < frames; ++f)
    for (int k = 0; k < nch; ++k) v[static_cast<size_t>(f) * nch + k] = gen(f, k);
  return v;
}

int32_t Sine(int frame, int rate, double hz, double amplitude) {
  return static_cast<int32_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * frame / rate)));
}

// Into `area`, the whole picture by default.
QImage Render(const WaveformInput& in, int w = 600, int h = 400, const QRect& area = {}) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::magenta);  // any pixel the renderer forgets shows up
  QPainter p(&img);
  RenderWaveform(p, area.isNull() ? img.rect() : area, in);
  p.end();
  return img;
}

// Rows holding a pixel of `colour` within rows [top, bottom) and columns [x0, x1).
std::set<int> RowsWith(const QImage& img, QRgb colour, int top, int bottom, int x0 = 0, int x1 = -1) {
  std::set<int> rows;
  for (int y = top; y < bottom; ++y)
    if (CountColour(img, colour, QRect(QPoint(x0, y), QPoint(x1 < 0 ? img.width() : x1 - 1, y))) > 0) rows.insert(y);
  return rows;
}

bool ColumnHas(const QImage& img, QRgb colour, int x, int top, int bottom) {
  return CountColour(img, colour, QRect(x, top, 1, bottom - top)) > 0;
}

WaveformInput Input(const ArrayOfDataType& samples, int seconds, int rate, int nch = 8) {
  WaveformInput in;
  in.Samples = samples;
  in.Seconds = seconds;
  in.SampleRate = rate;
  in.ChannelCount = nch;
  in.Mask.assign(nch, 1);
  return in;
}

TEST(WaveformLayout, AmountOfDataAndColumns) {
  const struct {
    const char* legend;
    int seconds, rate, nch, width, height, frames;
    int64_t step, fit, count;
    bool stretching;
    int columns;
  } rows[] = {
      {"exact fit: no stretching, no division by 0", 10, 1000, 8, 1000, 800, 180000, 10, 80000, 80000, false, 1000},
      // The largest live picture: 37 frames a column, one extra every 75.
      {"largest live", 60, 1000, 8, 1600, 1000, 180000, 37, 473600, 480000, true, 1600},
      {"fewer frames than columns: one a column", 1, 100, 8, 600, 400, 18000, 1, 4800, 800, false, 100},
      {"filling: what is there, from the oldest", 10, 1000, 8, 1000, 800, 3000, 10, 80000, 24000, false, 300},
      // A surplus of 2/3: every other column takes two frames, the picture spans the width.
      {"large surplus", 10, 100, 8, 600, 400, 18000, 1, 4800, 7200, true, 600},
      {"history of three channels", 20, 100, 3, 600, 400, 2100, 3, 5400, 5940, true, 600},
      {"no rate", 10, 0, 8, 600, 400, 1000, 1, 4800, 0, false, 0}};
  for (const auto& c : rows) {
    SCOPED_TRACE(c.legend);
    const ArrayOfDataType samples(static_cast<size_t>(c.frames) * c.nch, 0);
    const WaveformLayout L = ComputeWaveformLayout(Input(samples, c.seconds, c.rate, c.nch), c.width, c.height);
    EXPECT_EQ(std::tuple(L.Step, L.Fit, L.Count, L.Stretching, L.Columns),
              std::tuple(c.step, c.fit, c.count, c.stretching, c.columns));
  }
}

// Columns average the newest whole frames, in 64 bits: stray values of a partial frame at the
// end shift nothing. The full scale is per channel.
TEST(WaveformLayout, ColumnsAverageTheNewestWholeFramesAndFullScaleIsPerChannel) {
  ArrayOfDataType samples = MakeSamples(50, 8, [](int f, int k) { return k * 100 + f; });
  samples.insert(samples.end(), {99999, 99999});
  WaveformLayout L = ComputeWaveformLayout(Input(samples, 1, 100, 8), 600, 400);
  ASSERT_EQ(std::pair(L.Count, L.Columns), std::pair(int64_t{400}, 50));
  for (int x = 0; x < 50; ++x)
    for (int k = 0; k < 8; ++k) EXPECT_EQ(L.Averages[x * 8 + k], k * 100 + x);
  // 20 s of 1000 Hz, 10 s shown on 1000 columns: 10 frames a column from frame 10000.
  samples = MakeSamples(20000, 8, [](int f, int k) { return k == 0 ? f : -f; });
  L = ComputeWaveformLayout(Input(samples, 10, 1000), 1000, 800);
  ASSERT_EQ(L.Columns, 1000);
  EXPECT_DOUBLE_EQ(L.Averages[0], 10004.5);
  EXPECT_DOUBLE_EQ(L.Averages[999 * 8], 19994.5);
  EXPECT_DOUBLE_EQ(L.Averages[999 * 8 + 1], -19994.5);
  samples = MakeSamples(6000, 8, [](int, int k) { return k % 2 ? INT32_MIN : INT32_MAX; });
  L = ComputeWaveformLayout(Input(samples, 60, 100), 100, 400);
  ASSERT_EQ(L.Step, 60);
  EXPECT_DOUBLE_EQ(L.Averages[0], INT32_MAX);
  EXPECT_DOUBLE_EQ(L.Averages[1], INT32_MIN);
  EXPECT_EQ(L.FullScale[1], INT32_MIN);  // its magnitude does not fit 32 bits

  const ArrayOfDataType frames = {3, 0, 7, -5, 0, 0,  //
                                  -9, 0, 2, 4, 0, 0,  //
                                  5, 0, -7, 1, 0, 0};
  WaveformInput in = Input(frames, 1, 3, 6);
  in.FullScale = 1000;
  L = ComputeWaveformLayout(in, 600, 400);
  // Largest magnitude with its sign; a tie keeps the first; silence gives 0.
  EXPECT_EQ(L.FullScale, (std::vector<int64_t>{-9, 0, 7, -5, 0, 0}));

  in.Normalise = false;
  L = ComputeWaveformLayout(in, 600, 400);
  EXPECT_EQ(L.FullScale, std::vector<int64_t>(6, 1000));
  in.FullScale = 0;
  L = ComputeWaveformLayout(in, 600, 400);
  EXPECT_EQ(L.FullScale, std::vector<int64_t>(6, 1));
}

// The full-scale text has five significant digits and two decimals. The label of band 0 on
// a 1200 × 800 picture is compared with the text drawn alone there.
TEST(WaveformLabels, FullScaleTextAndLabelWithItsUnit) {
  const std::tuple<int64_t, double, const char*> texts[] = {
      {536870912, 1.0, "536870912"}, {-4711, 1.0, "-4711"},         {1234, 1000.0, "1.23"},
      {-1500, 1000.0, "-1.50"},      {0, 1000.0, "0.00"},           {99999, 1000.0, "100.00"},
      {536870912, 1e6, "536.87"},    {1999990, 1000.0, "2000.00"},  {536870912, 1000.0, "536870.00"},
      {123456789, 1000.0, "123460.00"}};
  for (const auto& [fullScale, divisor, text] : texts)
    EXPECT_EQ(FormatFullScale(fullScale, divisor), text) << fullScale << " / " << divisor;
  // Unit, normalised, the peak of the data, the label.
  const std::tuple<DisplayUnitKind, bool, int32_t, const char*> rows[] = {
      {DisplayUnitKind::Counts, false, 5, "536870912 counts"},
      {DisplayUnitKind::MicroVolt, true, -12000, "-12000 µV"},
      {DisplayUnitKind::MicroMetrePerSecond, true, -12000, "-12.00 µm/s"},
      {DisplayUnitKind::MilliMetrePerSecond, false, 0, "536.87 mm/s"},
      {DisplayUnitKind::Counts, true, 0, "0 counts"}};  // silent, normalised
  for (const auto& [unit, normalise, peak, expected] : rows) {
    SCOPED_TRACE(expected);
    const auto samples = MakeSamples(100, 8, [&](int f, int) { return f == 40 ? peak : 0; });
    WaveformInput in = Input(samples, 1, 100);
    in.Mask.assign(8, 0);  // no trace crosses the label
    in.Normalise = normalise;
    in.FullScale = 536870912;
    in.Unit = unit;
    const QImage img = Render(in, 1200, 800);

    QImage ref(1200, 800, QImage::Format_RGB32);
    ref.fill(Qt::black);
    QPainter p(&ref);
    const QFontMetrics fm(p.font());
    p.setPen(Qt::white);
    p.drawText(QPoint(2, 100 - 2 - fm.height() + fm.ascent()), QString::fromUtf8(expected));
    p.end();
    ASSERT_LT(fm.height(), 45) << "the label would reach the grid";
    // Left of the first vertical grid line, between the band's centre line and its border.
    const QRect region(0, 51, 119, 48);
    EXPECT_GT(CountIn(ref, region, [&](int x, int y) { return ref.pixel(x, y) != qRgb(0, 0, 0); }), 20);
    EXPECT_EQ(CountIn(img, region, [&](int x, int y) { return img.pixel(x, y) != ref.pixel(x, y); }), 0);
  }
}

// Pictures of 600 × 400 with 8 bands: half = 25, band k spans rows [50k, 50k + 50), centre 50k + 25.

TEST(WaveformRender, TracesLieInTheirBandsAndAHiddenOneLeavesOnlyItsLabels) {
  const auto samples = MakeSamples(1000, 8, [](int f, int k) {
    return k == 2 ? Sine(f, 100, 1.0, 1000) : k == 3 ? Sine(f, 100, 2.0, 5000) : 0;
  });
  WaveformInput in = Input(samples, 10, 100);
  const QImage shown = Render(in);
  in.Mask[3] = 0;
  const QImage hidden = Render(in);
  EXPECT_FALSE(RowsWith(shown, kYellow, 152, 200).empty());
  EXPECT_TRUE(RowsWith(hidden, kYellow, 152, 200).empty());
  // Band 2 reaches both its borders (normalised), nothing strays further.
  const std::set<int> band2 = RowsWith(hidden, kYellow, 90, 160);
  ASSERT_FALSE(band2.empty());
  EXPECT_EQ(*band2.begin(), 100);
  EXPECT_NEAR(*band2.rbegin(), 150, 1);
  for (int x = 1; x < 600; ++x) ASSERT_TRUE(ColumnHas(hidden, kYellow, x, 100, 152)) << x;
  // The silent bands are flat lines, one row thick, at their centres.
  for (int k : {0, 1, 4, 5, 6, 7})
    EXPECT_EQ(RowsWith(hidden, kYellow, 50 * k + 2, 50 * k + 48), (std::set<int>{50 * k + 25}))
        << "band " << k;
  // Every other pixel is as before (the trace touches the borders at 150 and 200, 201).
  const auto changed = [&](int x, int y) { return shown.pixel(x, y) != hidden.pixel(x, y); };
  EXPECT_EQ(CountIn(shown, QRect(0, 0, 600, 150), changed) + CountIn(shown, QRect(0, 202, 600, 198), changed), 0);
  // Labels: light text pixels near the top and the bottom of band 3.
  const auto light = [&](int x, int y) { return qGray(hidden.pixel(x, y)) > 160; };
  EXPECT_GT(CountIn(hidden, QRect(2, 151, 38, 15), light), 10);
  EXPECT_GT(CountIn(hidden, QRect(2, 180, 38, 19), light), 10);
}

// 10 s at 50 Hz wanted, 4 s there: 200 columns of one frame each, from the oldest value (the
// sine starts at 0 rising, so column 1 lies just above the centre line), nothing right of them.
TEST(WaveformRender, FillingBufferDrawsEveryFrameOnTheLeftPart) {
  const auto samples = MakeSamples(200, 8, [](int f, int) { return Sine(f, 50, 1.0, 800); });
  const QImage img = Render(Input(samples, 10, 50));
  for (int k = 0; k < 8; ++k) EXPECT_TRUE(ColumnHas(img, kYellow, 199, 50 * k, 50 * k + 52)) << k;
  EXPECT_TRUE(ColumnHas(img, kYellow, 1, 18, 26));
  EXPECT_EQ(CountColour(img, kYellow, QRect(200, 0, 400, 400)), 0);
}

// Normalisation off: 60 % of the full scale sits 15 of 25 rows above the centre. With a full
// scale of 1 every column lies billions of rows away; segments are clamped and clipped to the area.
TEST(WaveformRender, FixedFullScaleScalesAllBandsAlikeAndKeepsFarValuesInside) {
  const auto flat = MakeSamples(100, 8, [](int, int) { return 600; });
  const auto far = MakeSamples(100, 8, [](int f, int k) { return (f + k) % 2 ? INT32_MAX : INT32_MIN; });
  WaveformInput in = Input(flat, 1, 100);
  in.Normalise = false;
  in.FullScale = 1000;
  QImage img = Render(in);
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(RowsWith(img, kYellow, 50 * k + 1, 50 * k + 49), (std::set<int>{50 * k + 10})) << k;
  in.Samples = far;
  in.FullScale = 1;
  const QRect area(100, 100, 600, 400);
  img = Render(in, 800, 600, area);
  EXPECT_TRUE(ColumnHas(img, kYellow, area.left() + 50, area.top(), area.bottom() + 1));
  EXPECT_EQ(CountIn(img, img.rect(),
                    [&](int x, int y) { return !area.contains(x, y) && img.pixel(x, y) != qRgb(255, 0, 255); }),
            0);
}

TEST(WaveformRender, PaperColoursAndCaption) {
  const auto samples =
      MakeSamples(1000, 8, [](int f, int k) { return k == 1 ? Sine(f, 100, 1.0, 900) : 0; });
  WaveformInput in = Input(samples, 10, 100);
  in.Colours = TWaveColours::Print;
  const QImage bare = Render(in);
  in.Caption = "XY 1";
  const QImage paper = Render(in);

  EXPECT_EQ(paper.pixel(599, 1), qRgb(255, 255, 255));
  EXPECT_TRUE(RowsWith(paper, kYellow, 0, 400).empty());
  EXPECT_FALSE(RowsWith(paper, qRgb(0, 0, 0), 60, 90, 100, 110).empty());  // the trace
  // The caption sits at the bottom right, above the end of the last band.
  const QFontMetrics fm{QFont()};
  const QRect corner(600 - 22, 400 - 2 - fm.height(), 22, fm.height());
  auto dark = [&](const QImage& img) {
    return CountIn(img, corner, [&](int x, int y) { return qGray(img.pixel(x, y)) < 100; });
  };
  EXPECT_GT(dark(paper), 10);
  EXPECT_EQ(dark(bare), 0);
}

// An empty read shows the grid of the configured bands and nothing else, no label either.
TEST(WaveformAdapters, HistoryViewDrawsWhatTheReadHolds) {
  TDisplaySettings s;
  s.BandCount = 4;  // half = 50
  THistoryPicture h;
  WaveformInput in = substGraphPaintAllHist(h, s);
  EXPECT_TRUE(in.Samples.empty());
  EXPECT_EQ(in.ChannelCount, 4);
  const QImage empty = Render(in);
  const QRgb grid = qRgb(128, 128, 128);
  EXPECT_EQ(empty.pixel(1, 1), qRgb(0, 0, 0));
  for (int y : {100, 200, 300}) EXPECT_EQ(empty.pixel(3, y), grid) << y;  // solid borders
  EXPECT_EQ(empty.pixel(60, 3), grid);                                     // first time division
  EXPECT_EQ(CountColour(empty, qRgb(0, 0, 0), empty.rect()) + CountColour(empty, grid, empty.rect()), 600 * 400);

  const auto samples = MakeSamples(2000, 3, [](int f, int k) { return Sine(f, 100, 1.0, 300); });
  h.Valid = true;
  h.ChannelCount = 3;
  h.SampleRate = 100.4;
  h.DisplaySamples = samples;
  s.BandCount = 3;
  in = substGraphPaintAllHist(h, s);
  EXPECT_EQ(in.ChannelCount, 3);
  EXPECT_EQ(in.SampleRate, 100);
  EXPECT_EQ(in.Mask, std::vector<int32_t>(3, 1));
  // Three bands of 400 / 3 / 2 = 66 half-height, each with a trace.
  const QImage img = Render(in);
  for (int k = 0; k < 3; ++k) EXPECT_FALSE(RowsWith(img, kYellow, 132 * k, 132 * k + 133).empty());
  EXPECT_TRUE(RowsWith(img, kYellow, 400 - 2, 400).empty());

  h.Valid = false;  // a failed read keeps nothing on screen
  EXPECT_TRUE(substGraphPaintAllHist(h, s).Samples.empty());
}

}  // namespace
