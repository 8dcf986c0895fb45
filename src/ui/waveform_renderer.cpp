#include "ui/waveform_renderer.h"

#include <QColor>
#include <QFontMetrics>
#include <QLine>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "station/station_state.h"
#include "ui/qt_text.h"

namespace {

// Fixed stand-ins for the desktop's "inactive caption" and "caption text".
const QColor kGridColour(128, 128, 128);
const QColor kScreenText(255, 255, 255);
const QColor kScreenTrace(255, 255, 0);

// Keeps QLine's int coordinates sane when a value lies far outside its band
// (normalisation off, small full scale); the painter clips the rest.
constexpr int64_t kCoordLimit = int64_t{1} << 24;

int64_t Magnitude(int64_t v) { return v < 0 ? -v : v; }

// Halves to even, as everywhere in the station's arithmetic.
int64_t RoundEven(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

int ClampCoord(int64_t v) { return static_cast<int>(std::clamp(v, -kCoordLimit, kCoordLimit)); }

int64_t ColumnY(int64_t centre, double avg, int64_t half, int64_t fullScaleMagnitude) {
  if (fullScaleMagnitude == 0) return centre;
  return centre - RoundEven(avg * static_cast<double>(half) /
                            static_cast<double>(fullScaleMagnitude));
}

// Text placed by its top-left corner, as the labels are specified.
void TextAt(QPainter& p, const QFontMetrics& fm, int x, int top, const QString& text) {
  p.drawText(QPoint(x, top + fm.ascent()), text);
}

void DrawGrid(QPainter& p, int width, int height, int nch) {
  const int half = (height / nch) / 2;
  QPen pen(kGridColour);
  pen.setWidth(0);
  for (int i = 1; i <= 2 * nch; ++i) {
    // Odd lines are band centres, even ones the borders between bands.
    pen.setStyle(i % 2 == 1 ? Qt::DashDotLine : Qt::SolidLine);
    p.setPen(pen);
    p.drawLine(0, i * half, width - 1, i * half);
  }
  pen.setStyle(Qt::DotLine);
  p.setPen(pen);
  for (int i = 1; i <= 9; ++i) {
    const int x = i * (width / 10);
    p.drawLine(x, 0, x, height - 1);
  }
}

}  // namespace

WaveformLayout ComputeWaveformLayout(const WaveformInput& in, int width, int height) {
  WaveformLayout L;
  const int64_t nch = in.ChannelCount;
  if (nch < 1 || width < 1 || height < 1) return L;
  L.Half = static_cast<int32_t>((height / nch) / 2);

  const int64_t multiplier = std::max<int64_t>(1, in.Multiplier);
  L.Wanted = std::max<int64_t>(0, int64_t{in.Seconds} * nch * in.SampleRate * multiplier);
  const int64_t perStep = nch * width;
  L.Step = std::max<int64_t>(1, L.Wanted / perStep);
  L.Fit = perStep * L.Step;

  // A little more data than `fit` is spread over the columns by giving one
  // extra frame to a column now and then, so the picture spans the seconds
  // asked for. Without a surplus there is nothing to spread (and the
  // interval would divide by zero).
  const int64_t surplus = L.Wanted - L.Fit;
  int64_t count = L.Fit;
  if (surplus > 1) count = L.Fit + L.Fit / (L.Fit / surplus + 1);
  if (count < RoundEven(0.999 * static_cast<double>(L.Fit))) {
    count = L.Fit;
  } else if (surplus > 0) {
    L.Stretching = true;
    L.StretchInterval = L.Fit / surplus + 1;
  }
  if (count > RoundEven(0.99 * static_cast<double>(L.Wanted))) count = L.Wanted;
  // Whole frames only, counted back from the last complete frame, so that a
  // value's channel is its position modulo nch.
  const int64_t usable =
      static_cast<int64_t>(in.Samples.size()) - static_cast<int64_t>(in.Samples.size()) % nch;
  count = std::clamp<int64_t>(count, 0, usable);
  count -= count % nch;
  L.Count = count;

  const int32_t* values = in.Samples.data() + (usable - count);
  const int64_t frames = count / nch;
  std::vector<int64_t> sums(nch, 0), peak(nch, 0), peakMag(nch, 0);
  L.Averages.assign(static_cast<size_t>(width) * nch, 0.0);
  int64_t inColumn = 0, sinceExtra = 0, need = L.Step;
  for (int64_t f = 0; f < frames; ++f) {
    const int32_t* frame = values + f * nch;
    if (in.Normalise) {
      for (int64_t k = 0; k < nch; ++k) {
        const int64_t m = Magnitude(frame[k]);
        if (m > peakMag[k]) {
          peakMag[k] = m;
          peak[k] = frame[k];
        }
      }
    }
    if (L.Columns >= width) {
      if (!in.Normalise) break;
      continue;
    }
    for (int64_t k = 0; k < nch; ++k) sums[k] += frame[k];
    ++inColumn;
    // Every StretchInterval regular frames, the column being filled takes
    // one frame more; the extra frame itself does not count.
    if (L.Stretching && inColumn <= L.Step && ++sinceExtra >= L.StretchInterval) {
      sinceExtra = 0;
      need = L.Step + 1;
    }
    if (inColumn >= need) {
      double* avg = &L.Averages[static_cast<size_t>(L.Columns) * nch];
      for (int64_t k = 0; k < nch; ++k) {
        avg[k] = static_cast<double>(sums[k]) / static_cast<double>(inColumn);
        sums[k] = 0;
      }
      ++L.Columns;
      inColumn = 0;
      need = L.Step;
    }
  }
  L.Averages.resize(static_cast<size_t>(L.Columns) * nch);

  L.FullScale.resize(nch);
  for (int64_t k = 0; k < nch; ++k)
    L.FullScale[k] = in.Normalise ? peak[k] : (in.FullScale == 0 ? 1 : in.FullScale);
  return L;
}

QString DisplayUnitText(DisplayUnitKind unit) {
  switch (unit) {
    case DisplayUnitKind::MicroVolt: return QStringLiteral("µV");
    case DisplayUnitKind::NanoMetrePerSecond: return QStringLiteral("nm/s");
    case DisplayUnitKind::MicroMetrePerSecond: return QStringLiteral("µm/s");
    case DisplayUnitKind::MilliMetrePerSecond: return QStringLiteral("mm/s");
    case DisplayUnitKind::Counts: break;
  }
  return QStringLiteral("counts");
}

std::string FormatFullScale(int64_t fullScale, double divisor) {
  if (divisor == 1.0) return std::to_string(fullScale);
  double v = static_cast<double>(fullScale) / divisor;
  char buf[64];
  // From 1000 up, five significant digits leave fewer than two decimals:
  // round there once, then show two decimals (zeros) all the same.
  auto sci = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 4);
  const char* e = std::find(buf, sci.ptr, 'e');
  if (e != sci.ptr && std::atoi(e + 1) >= 3) {
    std::from_chars(buf, sci.ptr, v);
  }
  auto fixed = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
  std::string text(buf, fixed.ptr);
  if (text == "-0.00") text = "0.00";
  return text;
}

void RenderWaveform(QPainter& p, const QRect& area, const WaveformInput& in) {
  const int width = area.width(), height = area.height();
  if (width < 1 || height < 1) return;
  const bool print = in.Colours == TWaveColours::Print;

  p.save();
  p.translate(area.topLeft());
  p.setClipRect(QRect(0, 0, width, height));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.fillRect(QRect(0, 0, width, height), print ? Qt::white : Qt::black);

  const int nch = in.ChannelCount;
  if (nch >= 1) DrawGrid(p, width, height, nch);
  if (nch < 1 || in.Samples.empty()) {
    p.restore();
    return;
  }

  const WaveformLayout L = ComputeWaveformLayout(in, width, height);
  const int64_t half = L.Half;
  const QFontMetrics fm(p.font());
  const int textHeight = fm.height();
  const QString unit = DisplayUnitText(in.Unit);
  const double divisor = DisplayDivisor(in.Unit);

  p.setPen(QPen(print ? Qt::black : kScreenText));
  for (int k = 0; k < nch; ++k) {
    TextAt(p, fm, 2, static_cast<int>(2 * k * half + 1), QStringLiteral("AIN%1").arg(k));
    const int bottom = static_cast<int>((2 * k + 2) * half);
    TextAt(p, fm, 2, bottom - 2 - textHeight,
           Latin1(FormatFullScale(L.FullScale[k], divisor)) + ' ' + unit);
  }
  if (print && !in.Caption.isEmpty()) {
    // Measured in the font in use, so the whole caption stays on the page.
    const int x = std::max(0, width - fm.horizontalAdvance(in.Caption) - 2);
    TextAt(p, fm, x, static_cast<int>(2 * nch * half) - 2 - textHeight, in.Caption);
  }

  QPen tracePen(print ? Qt::black : kScreenTrace);
  tracePen.setWidth(0);
  tracePen.setStyle(Qt::SolidLine);
  // A segment ends just before its end point, so that the +1 of the column
  // below covers the rows between two columns and a flat trace is one row.
  tracePen.setCapStyle(Qt::FlatCap);
  p.setPen(tracePen);
  std::vector<QLine> lines;
  lines.reserve(static_cast<size_t>(std::max(0, L.Columns)));
  for (int k = 0; k < nch; ++k) {
    if (k < static_cast<int>(in.Mask.size()) && in.Mask[k] != 1) continue;
    const int64_t centre = (2 * int64_t{k} + 1) * half;
    const int64_t scale = Magnitude(L.FullScale[k]);
    lines.clear();
    // The first column only gives the starting point of the second.
    double start = 0;
    for (int x = 0; x < L.Columns; ++x) {
      const double avg = L.Averages[static_cast<size_t>(x) * nch + k];
      if (x > 0) {
        const int64_t y0 = ColumnY(centre, start, half, scale);
        const int64_t y1 = ColumnY(centre, avg, half, scale);
        lines.emplace_back(x - 1, ClampCoord(y0), x, ClampCoord(y1 + 1));
      }
      start = std::nearbyint(avg);
    }
    if (!lines.empty()) p.drawLines(lines.data(), static_cast<int>(lines.size()));
  }
  p.restore();
}

WaveformInput substGraphPaintAllAct(const StationState& state, int32_t sampleRate,
                                    const TDisplaySettings& settings) {
  WaveformInput in;
  in.Samples = std::span<const int32_t>(state.DisplayBuffer);
  in.Mask.assign(settings.ChannelMask.begin(), settings.ChannelMask.end());
  in.Multiplier = 1;
  in.SampleRate = sampleRate;
  in.ChannelCount = kChannelCount;
  in.FullScale = settings.FullScale;
  in.Normalise = settings.Normalise;
  in.Seconds = settings.SecondsShown;
  in.Unit = settings.Unit;
  return in;
}

WaveformInput substGraphPaintAllHist(const THistoryPicture& history,
                                     const TDisplaySettings& settings) {
  WaveformInput in;
  in.ChannelCount = settings.BandCount;
  in.FullScale = settings.FullScale;
  in.Normalise = settings.Normalise;
  in.Seconds = settings.SecondsShown;
  in.Unit = settings.Unit;
  if (!history.Valid || history.ChannelCount < 1 || history.DisplaySamples.empty()) return in;
  in.Samples = history.DisplaySamples;
  in.ChannelCount = history.ChannelCount;
  in.Mask.assign(static_cast<size_t>(history.ChannelCount), 1);
  in.SampleRate = static_cast<int32_t>(RoundEven(history.SampleRate));
  return in;
}
