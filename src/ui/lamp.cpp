#include "ui/lamp.h"

#include <QPainter>

TLamp::TLamp(const LedInfo& info, QWidget* parent) : QWidget(parent) {
  setObjectName(info.name);
  setToolTip(info.hint);
  setStatusTip(info.hint);
  m_state = {info.initiallyOn, info.color};
  setFixedSize(18, 18);
}

void TLamp::SetState(const LedState& state) {
  if (state == m_state) return;
  m_state = state;
  update();
}

QColor TLamp::ColorOf(LedColor color, bool on) {
  QColor c;
  switch (color) {
    case LedColor::Red: c = QColor(230, 30, 30); break;
    case LedColor::Green: c = QColor(30, 200, 50); break;
    case LedColor::Blue: c = QColor(40, 90, 240); break;
    case LedColor::Yellow: c = QColor(240, 220, 30); break;
    case LedColor::Purple: c = QColor(170, 40, 200); break;
  }
  return on ? c : c.darker(350);
}

void TLamp::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(ColorOf(m_state.color, m_state.on));
  p.drawEllipse(QRectF(1.5, 1.5, width() - 3, height() - 3));
}
