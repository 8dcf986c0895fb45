#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <climits>
#include <cmath>
#include <functional>
#include <numbers>
#include <set>
#include <tuple>

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
  return static_cast<int32_t>(
      std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * frame / rate)));
}

QImage Render(const WaveformInput& in, int w = 600, int h = 400) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::magenta);  // any pixel the renderer forgets shows up
  QPainter p(&img);
  RenderWaveform(p, img.rect(), in);
  p.end();
  return img;
}

// Rows holding a pixel of `colour` within rows [top, bottom) and columns [x0, x1).
std::set<int> RowsWith(const QImage& img, QRgb colour, int top, int bottom, int x0 = 0,
                       int x1 = -1) {
  if (x1 < 0) x1 = img.width();
  std::set<int> rows;
  for (int y = std::max(0, top); y < std::min(bottom, img.height()); ++y)
    for (int x = x0; x < x1; ++x)
      if (img.pixel(x, y) == colour) {
        rows.insert(y);
        break;
      }
  return rows;
}

bool ColumnHas(const QImage& img, QRgb colour, int x, int top, int bottom) {
  for (int y = std::max(0, top); y < std::min(bottom, img.height()); ++y)
    if (img.pixel(x, y) == colour) return true;
  return false;
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

// ---------------------------------------------------------------- layout

struct LayoutCase {
  const char* legend;
  int seconds, rate, nch, width, height, frames;
  int64_t step, fit, count;
  bool stretching;
  int columns;
};

class WaveformLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WaveformLayoutTest, AmountOfDataAndColumns) {
  const LayoutCase& c = GetParam();
  const ArrayOfDataType samples(static_cast<size_t>(c.frames) * c.nch, 0);
  const WaveformLayout L =
      ComputeWaveformLayout(Input(samples, c.seconds, c.rate, c.nch), c.width, c.height);
  EXPECT_EQ(L.Step, c.step);
  EXPECT_EQ(L.Fit, c.fit);
  EXPECT_EQ(L.Count, c.count);
  EXPECT_EQ(L.Stretching, c.stretching);
  EXPECT_EQ(L.Columns, c.columns);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaveformLayoutTest,
    ::testing::Values(
        // wanted = 80000 = 8 × 1000 × 10: no surplus, no stretching (and no
        // division by a zero surplus).
        LayoutCase{"ExactFit", 10, 1000, 8, 1000, 800, 180000, 10, 80000, 80000, false, 1000},
        // The largest live picture: 37 frames a column, one extra every 75.
        LayoutCase{"LargestLive", 60, 1000, 8, 1600, 1000, 180000, 37, 473600, 480000, true, 1600},
        // Fewer frames than columns: one frame per column, count = wanted.
        LayoutCase{"StepOne", 1, 100, 8, 600, 400, 18000, 1, 4800, 800, false, 100},
        // The window is still filling: what is there, from the oldest value.
        LayoutCase{"Filling", 10, 1000, 8, 1000, 800, 3000, 10, 80000, 24000, false, 300},
        // A surplus of 2/3: every other column takes two frames and the
        // picture still spans the whole width.
        LayoutCase{"LargeSurplus", 10, 100, 8, 600, 400, 18000, 1, 4800, 7200, true, 600},
        LayoutCase{"HistoryThreeChannels", 20, 100, 3, 600, 400, 2100, 3, 5400, 5940, true, 600},
        LayoutCase{"NoRate", 10, 0, 8, 600, 400, 1000, 1, 4800, 0, false, 0}),
    [](const auto& info) { return std::string(info.param.legend); });

// Columns average the newest whole frames, in 64 bits: stray values of a
// partial frame at the end shift nothing.
TEST(WaveformLayout, ColumnsAverageTheNewestWholeFrames) {
  ArrayOfDataType samples = MakeSamples(50, 8, [](int f, int k) { return k * 100 + f; });
  samples.insert(samples.end(), {99999, 99999});
  WaveformLayout L = ComputeWaveformLayout(Input(samples, 1, 100, 8), 600, 400);
  ASSERT_EQ(L.Count, 400);
  ASSERT_EQ(L.Columns, 50);
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
}

TEST(WaveformLayout, FullScalePerChannel) {
  const ArrayOfDataType frames = {3, 0, 7, -5, 0, 0,  //
                                  -9, 0, 2, 4, 0, 0,  //
                                  5, 0, -7, 1, 0, 0};
  WaveformInput in = Input(frames, 1, 3, 6);
  in.FullScale = 1000;
  WaveformLayout L = ComputeWaveformLayout(in, 600, 400);
  // Largest magnitude with its sign; a tie keeps the first; silence gives 0.
  EXPECT_EQ(L.FullScale, (std::vector<int64_t>{-9, 0, 7, -5, 0, 0}));

  in.Normalise = false;
  L = ComputeWaveformLayout(in, 600, 400);
  EXPECT_EQ(L.FullScale, std::vector<int64_t>(6, 1000));
  in.FullScale = 0;
  L = ComputeWaveformLayout(in, 600, 400);
  EXPECT_EQ(L.FullScale, std::vector<int64_t>(6, 1));
}

// ---------------------------------------------------------------- labels

TEST(WaveformLabels, FullScaleTextHasFiveSignificantDigitsAndTwoDecimals) {
  const std::tuple<int64_t, double, const char*> rows[] = {
      {536870912, 1.0, "536870912"}, {-4711, 1.0, "-4711"},         {1234, 1000.0, "1.23"},
      {-1500, 1000.0, "-1.50"},      {0, 1000.0, "0.00"},           {99999, 1000.0, "100.00"},
      {536870912, 1e6, "536.87"},    {1999990, 1000.0, "2000.00"},  {536870912, 1000.0, "536870.00"},
      {123456789, 1000.0, "123460.00"}};
  for (const auto& [fullScale, divisor, text] : rows)
    EXPECT_EQ(FormatFullScale(fullScale, divisor), text) << fullScale << " / " << divisor;
}

// The full-scale label of band 0 on a 1200 × 800 picture, compared with the
// expected text drawn alone at the same place.
struct LabelCase {
  const char* legend;
  DisplayUnitKind unit;
  bool normalise;
  int32_t peak;
  const char* expected;
};

class FullScaleLabelTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(FullScaleLabelTest, DrawsValueAndUnit) {
  const LabelCase& c = GetParam();
  const auto samples = MakeSamples(100, 8, [&](int f, int k) { return f == 40 ? c.peak : 0; });
  WaveformInput in = Input(samples, 1, 100);
  in.Mask.assign(8, 0);  // no trace crosses the label
  in.Normalise = c.normalise;
  in.FullScale = 536870912;
  in.Unit = c.unit;
  const QImage img = Render(in, 1200, 800);

  QImage ref(1200, 800, QImage::Format_RGB32);
  ref.fill(Qt::black);
  QPainter p(&ref);
  const QFontMetrics fm(p.font());
  p.setPen(Qt::white);
  const int top = 100 - 2 - fm.height();
  p.drawText(QPoint(2, top + fm.ascent()), QString::fromUtf8(c.expected));
  p.end();
  ASSERT_LT(fm.height(), 45) << "the label would reach the grid";
  // Left of the first vertical grid line, between the band's centre line and its border.
  const QRect region(0, 51, 119, 48);
  int differing = 0, lit = 0;
  for (int y = region.top(); y <= region.bottom(); ++y)
    for (int x = region.left(); x <= region.right(); ++x) {
      differing += img.pixel(x, y) != ref.pixel(x, y);
      lit += ref.pixel(x, y) != qRgb(0, 0, 0);
    }
  EXPECT_GT(lit, 20);
  EXPECT_EQ(differing, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FullScaleLabelTest,
    ::testing::Values(LabelCase{"Counts", DisplayUnitKind::Counts, false, 5, "536870912 counts"},
                      LabelCase{"MicroVolt", DisplayUnitKind::MicroVolt, true, -12000, "-12000 µV"},
                      LabelCase{"MicrometresPerSecond", DisplayUnitKind::MicroMetrePerSecond, true, -12000,
                                "-12.00 µm/s"},
                      LabelCase{"MillimetresPerSecond", DisplayUnitKind::MilliMetrePerSecond, false, 0,
                                "536.87 mm/s"},
                      LabelCase{"SilentNormalised", DisplayUnitKind::Counts, true, 0, "0 counts"}),
    [](const auto& info) { return std::string(info.param.legend); });

// ---------------------------------------------------------------- pixels
// 600 × 400 with 8 bands: half = 25, band k spans rows [50k, 50k + 50),
// centre 50k + 25.

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
  EXPECT_GE(*band2.rbegin(), 149);
  EXPECT_LE(*band2.rbegin(), 151);
  for (int x = 1; x < 600; ++x) ASSERT_TRUE(ColumnHas(hidden, kYellow, x, 100, 152)) << x;
  // The silent bands are flat lines, one row thick, at their centres.
  for (int k : {0, 1, 4, 5, 6, 7})
    EXPECT_EQ(RowsWith(hidden, kYellow, 50 * k + 2, 50 * k + 48), (std::set<int>{50 * k + 25}))
        << "band " << k;
  // Every other pixel is as before (the trace touches the borders at 150 and 200, 201).
  int differing = 0;
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 600; ++x)
      if (y < 150 || y > 201) differing += shown.pixel(x, y) != hidden.pixel(x, y);
  EXPECT_EQ(differing, 0);
  // Labels: light text pixels near the top and the bottom of band 3.
  auto text = [&](int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = 2; x < 40; ++x) n += qGray(hidden.pixel(x, y)) > 160;
    return n;
  };
  EXPECT_GT(text(151, 166), 10);
  EXPECT_GT(text(180, 199), 10);
}

TEST(WaveformRender, FillingBufferDrawsEveryFrameOnTheLeftPart) {
  // 10 s at 50 Hz wanted, 4 s there: 200 columns of one frame each, so an
  // alternating signal in band 0 zigzags from border to border instead of
  // averaging out.
  const auto samples = MakeSamples(200, 8, [](int f, int k) {
    return k == 0 ? (f % 2 ? 1000 : -1000) : Sine(f, 50, 1.0, 800);
  });
  const QImage img = Render(Input(samples, 10, 50));
  for (int x = 1; x < 199; ++x) {
    EXPECT_TRUE(ColumnHas(img, kYellow, x, 0, 6)) << x;
    EXPECT_TRUE(ColumnHas(img, kYellow, x, 45, 52)) << x;
  }
  for (int k = 1; k < 8; ++k) EXPECT_TRUE(ColumnHas(img, kYellow, 199, 50 * k, 50 * k + 52)) << k;
  for (int x = 200; x < 600; ++x) ASSERT_FALSE(ColumnHas(img, kYellow, x, 0, 400)) << x;
  // Drawn from the oldest value: the sine starts at 0 rising, so column 1
  // lies just above the centre line.
  EXPECT_TRUE(ColumnHas(img, kYellow, 1, 68, 76));
}

TEST(WaveformRender, FixedFullScaleScalesAllBandsAlike) {
  // Normalisation off: 60 % of the full scale sits 15 of 25 rows above the centre.
  const auto samples = MakeSamples(100, 8, [](int, int) { return 600; });
  WaveformInput in = Input(samples, 1, 100);
  in.Normalise = false;
  in.FullScale = 1000;
  const QImage img = Render(in);
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(RowsWith(img, kYellow, 50 * k + 1, 50 * k + 49), (std::set<int>{50 * k + 10})) << k;
}

TEST(WaveformRender, ValuesFarOutsideTheirBandStayInsideThePicture) {
  // Normalisation off with a full scale of 1: every column lies billions of
  // rows away; the segments are clamped and clipped to the picture's area.
  const auto samples = MakeSamples(100, 8, [](int f, int k) {
    return (f + k) % 2 ? INT32_MAX : INT32_MIN;
  });
  WaveformInput in = Input(samples, 1, 100);
  in.Normalise = false;
  in.FullScale = 1;
  QImage img(800, 600, QImage::Format_RGB32);
  img.fill(Qt::magenta);
  const QRect area(100, 100, 600, 400);
  QPainter p(&img);
  RenderWaveform(p, area, in);
  p.end();
  EXPECT_TRUE(ColumnHas(img, kYellow, area.left() + 50, area.top(), area.bottom() + 1));
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (!area.contains(x, y)) {
        ASSERT_EQ(img.pixel(x, y), qRgb(255, 0, 255)) << x << "," << y;
      }
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
  const int top = 400 - 2 - fm.height();
  auto dark = [&](const QImage& img) {
    int n = 0;
    for (int y = top; y < 398; ++y)
      for (int x = 600 - 22; x < 600; ++x) n += qGray(img.pixel(x, y)) < 100;
    return n;
  };
  EXPECT_GT(dark(paper), 10);
  EXPECT_EQ(dark(bare), 0);
}

TEST(WaveformRender, EmptyPictureIsBackgroundAndGrid) {
  WaveformInput in;
  in.ChannelCount = 4;  // half = 50
  const QImage img = Render(in);
  const QRgb grid = qRgb(128, 128, 128);
  EXPECT_EQ(img.pixel(1, 1), qRgb(0, 0, 0));
  for (int y : {100, 200, 300}) EXPECT_EQ(img.pixel(3, y), grid) << y;  // solid borders
  EXPECT_EQ(img.pixel(60, 3), grid);                                     // first time division
  EXPECT_TRUE(RowsWith(img, kYellow, 0, 400).empty());
  // Nothing but background and grid: no label either.
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 600; ++x) {
      const QRgb c = img.pixel(x, y);
      ASSERT_TRUE(c == qRgb(0, 0, 0) || c == grid) << x << "," << y;
    }
}

// ---------------------------------------------------------------- adapters

TEST(WaveformAdapters, HistoryViewDrawsWhatTheReadHolds) {
  TDisplaySettings s;
  s.BandCount = 8;
  THistoryPicture h;
  WaveformInput in = substGraphPaintAllHist(h, s);
  EXPECT_TRUE(in.Samples.empty());
  EXPECT_EQ(in.ChannelCount, 8);

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
