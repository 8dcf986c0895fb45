#pragma once
// The waveform window: a top-level window that shows the picture its paint
// procedure describes. The main window chooses the procedure (live or
// history adapter), sets the caption and listens for `closed`.
#include <QWidget>
#include <functional>

#include "ui/waveform_renderer.h"

class TWaveForm : public QWidget {
  Q_OBJECT

 public:
  // Describes the picture to paint; called on every repaint.
  using PaintProcedure = std::function<WaveformInput()>;

  // Centred on the screen, two thirds of its height, 1.5 times as wide as
  // high, caption "Seismograph". With a parent it is still its own window.
  explicit TWaveForm(QWidget* parent = nullptr);

  // An empty procedure paints the background and the grid of BandCount() bands.
  void SetPaintProcedure(PaintProcedure procedure);
  void SetBandCount(int bands);
  int BandCount() const { return m_bandCount; }

  // The background: black on screen; printing switches to white and back.
  void SetColours(TWaveColours colours);
  TWaveColours Colours() const { return m_colours; }

  // The current picture, in the window's colours and with its caption.
  WaveformInput CurrentPicture() const;
  // Paints the client-sized picture scaled to fit `target` (aspect kept,
  // centred) in the given colours: the printing path.
  void RenderTo(QPainter& painter, const QRect& target, TWaveColours colours) const;

 signals:
  void closed();
  // Escape: the main window comes to the front (done here too when the main
  // window is this window's parent).
  void mainWindowRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  PaintProcedure m_paint;
  int m_bandCount = kChannelCount;
  TWaveColours m_colours = TWaveColours::Screen;
};
