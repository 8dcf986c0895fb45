#include "ui/panel.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

QPushButton* NewButton(QWidget* parent, const char* name, const QString& text, const QString& hint) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  if (!hint.isEmpty()) {
    b->setToolTip(hint);
    b->setStatusTip(hint);
  }
  return b;
}

TPanel::TPanel(QWidget* parent, const char* name, const QString& title) : QFrame(parent) {
  setObjectName(name);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Raised);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 4, 6, 6);
  column->setSpacing(4);
  auto* caption = new QLabel(title, this);
  QFont f = caption->font();
  f.setBold(true);
  caption->setFont(f);
  column->addWidget(caption);
}

QVBoxLayout* TPanel::Column() const { return static_cast<QVBoxLayout*>(layout()); }

void TPanel::Finish() {
  adjustSize();
  setFixedHeight(sizeHint().height());
  hide();
}

QSpinBox* TPanel::NewSecondsEdit(const char* name, const QString& hint, int seconds) {
  auto* e = new QSpinBox(this);
  e->setObjectName(name);
  e->setRange(kSecondsShownMin, kSecondsShownMax);
  e->setValue(seconds);
  e->setSuffix(" s");
  if (!hint.isEmpty()) {
    e->setToolTip(hint);
    e->setStatusTip(hint);
  }
  return e;
}

QRadioButton* TPanel::NewUnitButton(const char* name, const QString& text, DisplayUnitKind unit) {
  auto* b = new QRadioButton(text, this);
  b->setObjectName(name);
  connect(b, &QRadioButton::clicked, this, [this, unit] { emit unitChosen(unit); });
  m_units.emplace_back(b, unit);
  return b;
}

void TPanel::SelectUnit(DisplayUnitKind unit, DisplayUnitKind fallback) {
  const auto find = [this](DisplayUnitKind u) -> QRadioButton* {
    for (const auto& [button, kind] : m_units)
      if (kind == u) return button;
    return nullptr;
  };
  QRadioButton* button = find(unit);
  if (!button) {
    unit = fallback;
    button = find(unit);
  }
  button->setChecked(true);
  emit unitChosen(unit);
}
