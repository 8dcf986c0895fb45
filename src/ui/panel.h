#pragma once
// What the three fold-out panels of the main window have in common: a raised
// frame with a bold caption, fixed at the height its contents need, and the
// controls both views repeat (seconds shown, unit buttons).
#include <QFrame>

#include <utility>
#include <vector>

#include "processing/conditioning.h"

class QPushButton;
class QRadioButton;
class QSpinBox;
class QVBoxLayout;

// Seconds of data a view shows.
constexpr int kSecondsShownMin = 1, kSecondsShownMax = 60;

// A push button with its object name and, when given, the same tool and status tip.
QPushButton* NewButton(QWidget* parent, const char* name, const QString& text,
                       const QString& hint = {});

class TPanel : public QFrame {
  Q_OBJECT
 public:
  TPanel(QWidget* parent, const char* name, const QString& title);

 signals:
  // The operator chose a unit: the main window applies it to both views.
  void unitChosen(DisplayUnitKind unit);

 protected:
  QVBoxLayout* Column() const;
  // Fixes the height and hides the panel: panels open on demand.
  void Finish();
  QSpinBox* NewSecondsEdit(const char* name, const QString& hint, int seconds);
  QRadioButton* NewUnitButton(const char* name, const QString& text, DisplayUnitKind unit);
  // Checks the button of `unit` (`fallback` when the panel has none) and
  // applies it as a click would.
  void SelectUnit(DisplayUnitKind unit, DisplayUnitKind fallback);

 private:
  std::vector<std::pair<QRadioButton*, DisplayUnitKind>> m_units;
};
