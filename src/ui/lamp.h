#pragma once
// A round two-state lamp with a colour, the look of the station's indicators.
#include <QWidget>

#include "station/indicators.h"

class TLamp : public QWidget {
  Q_OBJECT
 public:
  explicit TLamp(const LedInfo& info, QWidget* parent = nullptr);
  void SetState(const LedState& state);
  const LedState& State() const { return m_state; }
  QSize sizeHint() const override { return {18, 18}; }
  static QColor ColorOf(LedColor color, bool on);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  LedState m_state;
};
