#pragma once
// The history panel: navigation through the stored files, seconds, norm,
// trigger files, unit and the ASCII export. It owns the reader and the last
// record read, and gives the waveform window the record's picture.
#include "storage/history_reader.h"
#include "ui/panel.h"
#include "ui/waveform_renderer.h"

class QCheckBox;
class QLineEdit;
class StationController;
class TWaveForm;

class THistoryPanel : public TPanel {
  Q_OBJECT
 public:
  // `display` and `waveForm` belong to the main window and outlive the panel.
  THistoryPanel(QWidget* parent, StationController& station, TDisplaySettings& display,
                TWaveForm& waveForm);

  // The panel opens: the picture of the last record, in a velocity unit.
  void Opening();
  QSpinBox* SecondsEdit() const { return EditShowHistorySeconds; }
  QCheckBox* NormBox() const { return ChkBoxNormHist; }

  // A step of the picture, or a fresh read at the typed time.
  void BtnPrevNextClick(THistoryStep step);
  void BtnAsciiClick();
  const THistoryRecord& HistoryRecord() const { return m_record; }

  QPushButton* BtnPrev = nullptr;
  QPushButton* BtnNext = nullptr;
  QLineEdit* MaskEditDateTime = nullptr;
  QSpinBox* EditShowHistorySeconds = nullptr;  // the edit and its up/down buttons
  QCheckBox* ChkBoxNormHist = nullptr;
  QCheckBox* ChkBoxTrigger = nullptr;
  QRadioButton* NanometresRadioBtnHist = nullptr;
  QRadioButton* MicrometresRadioBtnHist = nullptr;
  QRadioButton* MillimetresRadioBtnHist = nullptr;
  QPushButton* BtnEmailHist = nullptr;
  QPushButton* BtnASCIIHist = nullptr;
  QPushButton* BtnPrintHist = nullptr;

 signals:
  // A message for the operator (an invalid time, a reader's note).
  void message(const QString& text);

 private:
  StationController& m_station;
  TDisplaySettings& m_display;
  TWaveForm& m_waveForm;
  THistoryReader m_reader;
  THistoryRecord m_record;
  THistoryPicture m_picture;  // what the view draws: the record's display samples
};
