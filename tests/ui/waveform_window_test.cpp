#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <cmath>
#include <numbers>

#include "pixels.h"
#include "station/station_state.h"
#include "ui/waveform.h"

namespace {

const QRgb kYellow = qRgb(255, 255, 0);

// 180 s of a station, alike in every run: microseisms with a local event 6 s
// before the end, the PPS copy on input 4 and a silent input 5.
ArrayOfDataType SyntheticStation(int rate) {
  ArrayOfDataType v(static_cast<size_t>(180 * rate) * 8, 0);
  for (size_t f = 0; f < v.size() / 8; ++f) {
    const double t = double(f) / rate, a = std::max(0.0, t - 174.0), pi2 = 2 * std::numbers::pi;
    const double event = 60000 * std::exp(-a / 1.2) * std::sin(pi2 * 7.5 * a) * std::min(1.0, a * 8);
    for (int k : {0, 1, 2, 3, 6, 7})
      v[f * 8 + k] = static_cast<int32_t>(4000 * std::sin(pi2 * (0.2 + 0.3 * k) * t) + event / (k + 1));
    v[f * 8 + 4] = static_cast<int>(f % rate) < rate / 10 ? 20000 : 0;
  }
  return v;
}

// Its own top-level window even with a parent; Escape asks for the main window, other keys do nothing.
TEST(WaveForm, OpensCentredAtTwoThirdsOfTheScreenAndEscapeCallsTheMainWindow) {
  QWidget owner;
  TWaveForm form(&owner);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const int h = screen.height() * 2 / 3;
  EXPECT_EQ(form.size(), QSize(h * 3 / 2, h));
  EXPECT_LE(std::abs(form.geometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(form.geometry().center().y() - screen.center().y()), 1);
  EXPECT_TRUE(form.isWindow());
  int requests = 0, closed = 0;
  QObject::connect(&form, &TWaveForm::mainWindowRequested, [&] { ++requests; });
  QObject::connect(&form, &TWaveForm::closed, [&] { ++closed; });
  form.show();
  for (const auto key : {Qt::Key_A, Qt::Key_Escape}) {
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &release);
  }
  EXPECT_EQ(std::tuple(requests, closed, form.isVisible()), std::tuple(1, 0, true));
}

TEST(WaveForm, PaintsThePictureOfItsProcedure) {
  StationState st;
  st.DisplayBuffer = SyntheticStation(1000);
  TDisplaySettings settings;
  settings.SecondsShown = 20;
  settings.ChannelMask[6] = 0;
  TWaveForm form;
  form.resize(1200, 800);
  form.setWindowTitle("ZST 05.12.2026 14:03:27.058");
  form.SetPaintProcedure([&] { return substGraphPaintAllAct(st, 1000, settings); });
  form.show();

  const QImage screen = form.grab().toImage();
  for (int k = 0; k < 8; ++k) {
    const int traces = CountColour(screen, kYellow, QRect(0, 100 * k + 1, 1200, 98));
    EXPECT_TRUE(k == 6 ? traces == 0 : traces > 100) << "band " << k << ": " << traces << " trace pixels";
  }
  ASSERT_TRUE(QDir().mkpath(VELKOR_ARTEFACTS));
  EXPECT_TRUE(screen.save(QStringLiteral(VELKOR_ARTEFACTS) + "/waveform_window.png", "PNG"));
}

}  // namespace
