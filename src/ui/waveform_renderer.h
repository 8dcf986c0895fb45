#pragma once
// The waveform picture: stacked traces, one horizontal band per channel, drawn
// from an interleaved sample array onto any QPainter (window, QImage, printer).
// The renderer is a pure function of its input; two adapters build that input
// from the live display window or from a history read.
#include <QString>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/types.h"
#include "processing/conditioning.h"

class QPainter;
class QRect;
struct StationState;

// Black screen colours, or black on white for paper (with the caption written
// at the bottom right, so a printed page carries its title).
enum class TWaveColours { Screen, Print };

struct WaveformInput {
  // Channels interleaved (channel k of frame f at f * ChannelCount + k), newest
  // data at the end; borrowed, so build the input just before rendering.
  // Empty: background and grid only.
  std::span<const int32_t> Samples;
  // One entry per channel, 1 = draw the trace; channels past its end are drawn.
  std::vector<int32_t> Mask;
  int32_t Multiplier = 1;
  int32_t SampleRate = 0;   // frames per second
  int32_t ChannelCount = kChannelCount;  // bands
  int32_t FullScale = 536'870'912;  // in the units of the samples; 0 reads as 1
  bool Normalise = true;
  int32_t Seconds = 10;
  DisplayUnitKind Unit = DisplayUnitKind::Counts;  // of the labels
  TWaveColours Colours = TWaveColours::Screen;
  QString Caption;  // written only on paper
};

// The arithmetic of one picture, before any pixel is touched.
struct WaveformLayout {
  int32_t Half = 0;  // half a band's height
  int64_t Wanted = 0, Step = 1, Fit = 0, Count = 0;
  bool Stretching = false;
  int64_t StretchInterval = 0;  // frames between two extra frames
  // Per channel: the full scale shown in the label (normalised: the
  // largest-magnitude value drawn, sign kept; its magnitude scales).
  std::vector<int64_t> FullScale;
  // Complete pixel columns, at most the width; averages at [x * nch + k].
  int32_t Columns = 0;
  std::vector<double> Averages;
};

WaveformLayout ComputeWaveformLayout(const WaveformInput& in, int width, int height);

// The unit as the labels and the unit buttons name it ("counts", "µV", "nm/s" …).
QString DisplayUnitText(DisplayUnitKind unit);

// "536870912" for divisor 1, else the value divided, 5 significant digits
// shown with 2 decimals ("12.35", "536870.00"); '.' whatever the locale.
std::string FormatFullScale(int64_t fullScale, double divisor);

// Paints background, grid, labels and traces into `area` (top-left origin).
void RenderWaveform(QPainter& painter, const QRect& area, const WaveformInput& in);

// What the main window keeps for the picture (seconds shown, unit, mask …);
// DisplayPaused and ShowFiltered live in StationState.
struct TDisplaySettings {
  int32_t SecondsShown = 10;
  bool Normalise = true;
  DisplayUnitKind Unit = DisplayUnitKind::Counts;
  int32_t FullScale = 536'870'912;
  std::array<int32_t, kChannelCount> ChannelMask{1, 1, 1, 1, 1, 1, 1, 1};
  int32_t BandCount = kChannelCount;
};

// The part of a history read that the picture needs. Invalid or empty: the
// picture is the grid of BandCount bands and nothing else.
struct THistoryPicture {
  bool Valid = false;
  int32_t ChannelCount = 0;
  double SampleRate = 0;
  std::span<const int32_t> DisplaySamples;  // samples × calibration
};

// Live view: the station's DisplayBuffer at `sampleRate` (ADcard/SampleRate).
WaveformInput substGraphPaintAllAct(const StationState& state, int32_t sampleRate,
                                    const TDisplaySettings& settings);
// History view: what the last read holds, every channel shown.
WaveformInput substGraphPaintAllHist(const THistoryPicture& history,
                                     const TDisplaySettings& settings);
