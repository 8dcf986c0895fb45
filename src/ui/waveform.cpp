#include "ui/waveform.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

TWaveForm::TWaveForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Seismograph"));
  // Every pixel is painted by the renderer.
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetColours(TWaveColours::Screen);

  const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->geometry();
    const int h = area.height() * 2 / 3;
    const int w = h * 3 / 2;
    resize(w, h);
    move(area.center() - QPoint(w / 2, h / 2));
  }
}

void TWaveForm::SetPaintProcedure(PaintProcedure procedure) {
  m_paint = std::move(procedure);
  update();
}

void TWaveForm::SetBandCount(int bands) {
  m_bandCount = bands;
  update();
}

void TWaveForm::SetColours(TWaveColours colours) {
  m_colours = colours;
  QPalette pal = palette();
  pal.setColor(QPalette::Window, colours == TWaveColours::Screen ? Qt::black : Qt::white);
  setPalette(pal);
  update();
}

WaveformInput TWaveForm::CurrentPicture() const {
  WaveformInput in;
  if (m_paint) {
    in = m_paint();
  } else {
    in.ChannelCount = m_bandCount;
  }
  in.Colours = m_colours;
  in.Caption = windowTitle();
  return in;
}

void TWaveForm::RenderTo(QPainter& painter, const QRect& target, TWaveColours colours) const {
  const QSize source = size();
  if (source.isEmpty() || target.isEmpty()) return;
  const double scale = std::min(double(target.width()) / source.width(),
                                double(target.height()) / source.height());
  WaveformInput in = CurrentPicture();
  in.Colours = colours;
  painter.save();
  painter.translate(QPointF(target.center()) -
                    QPointF(source.width() * scale / 2, source.height() * scale / 2));
  painter.scale(scale, scale);
  RenderWaveform(painter, QRect(QPoint(0, 0), source), in);
  painter.restore();
}

void TWaveForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  RenderWaveform(painter, rect(), CurrentPicture());
}

void TWaveForm::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}

void TWaveForm::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    QWidget::keyReleaseEvent(event);
    return;
  }
  emit mainWindowRequested();
  if (QWidget* owner = parentWidget()) {
    QWidget* main = owner->window();
    main->raise();
    main->activateWindow();
  }
}
