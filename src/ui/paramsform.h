#pragma once
// The parameters dialog: shows every editable station parameter and writes the
// INI file on "Save". The running configuration stays as it is; the new file
// takes effect at the next start.
#include <QDialog>

#include <functional>

#include "config/loadini.h"
#include "config/progparam.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

// Modal results of the dialog.
constexpr int kModalOK = 1;
constexpr int kModalCancel = 2;

class TParamsForm : public QDialog {
  Q_OBJECT
 public:
  explicit TParamsForm(QWidget* parent = nullptr);

  // What the dialog reads: the running configuration, the station's offsets,
  // the converter's gains (µV per count) and the file names, all of which must
  // outlive the dialog. `saved` hears of a save with the offset compensation box.
  void Attach(const TProgParam& running, const ArrayOfDataType& offsets,
              std::function<void(bool keepOffsetsFile)> saved, const ArrayOfReal& adGain,
              const ProgramFiles& files);
  bool Saved() const { return m_saved != 0; }

  void FormShow();
  void FormClose();
  void ModelComboBoxChange();
  void ModuleComboBoxChange();
  void PickUpFileBtnClick();
  void SaveBtnClick();
  void BackBtnClick();
  // Enabling rules.
  void AlarmChkBoxClick();
  void SendRadioButtonClick();
  void SendTrgChkBoxClick();
  void SaveTrigChkBoxClick();
  void GPSSyncChkBoxClick();
  void SaveAllChkBoxClick();
  void ArchiveChkBoxClick();
  void SeedLinkChkBoxClick();

  // Messages to the operator; a test replaces the modal box.
  std::function<void(const QString&)> MessageHook;
  // The filter file dialog (empty result: cancelled); a test replaces it.
  std::function<QString(const QString& dir)> OpenFileHook;

  // "Common "
  QLineEdit *StationEdit, *LanguageEdit, *DataDirEdit, *TrigDirEdit, *AsciiDirEdit, *BackUpDirEdit;
  QCheckBox *SaveLogChkBox, *AlarmChkBox;
  // "Communication "
  QRadioButton *SendSMSRadioButton, *SendEmailRadioButton, *NoneRadioButton;
  QLabel* DailyTimeLbl;
  QLineEdit *MaskEdit, *StarMsgEdit, *DailyMsgEdit, *EmailAddrEdit, *TriggerMinuteEdit;
  QCheckBox* SendTrgChkBox;
  QLineEdit *TCPIPserverEdit, *TCPIPportEdit;
  // "Converter "
  QComboBox *ModelComboBox, *ModuleComboBox;
  QCheckBox *OffsetCompChkBox, *ContinuousChkBox, *LockGPSChBox;
  QLineEdit* PPSChannelEdit;
  // "Conversion "
  QComboBox* SamplingEdit;
  QLineEdit* ResamplingEdit;
  QCheckBox *FullLoadChkBox, *DoubleSensChkBox;
  // "Digital Filter"
  QCheckBox* FilterChkBox;
  QLineEdit* FilterFileEdit;
  QPushButton* PickUpFileBtn;
  // "Trigger "
  QCheckBox* SaveTrigChkBox;
  QLineEdit *PredTimeEdit, *PostTimeEdit, *STALengthEdit, *STAStartEdit, *STAStopEdit;
  // "GSM "
  QComboBox *GSMPortComboBox, *GSMBaudComboBox;
  QLabel *GSMPortLbl, *GSMBaudLbl;
  QLineEdit *GSMPinEdit, *GSMGateEdit;
  QCheckBox *GSMEmailOnlyChkBox, *GSMQuarryModeChkBox, *GSMM1modeChkBox;
  QLineEdit *GSMcentrumEdit, *GSMemailIndicator, *Receiver1Edit, *Receiver2Edit, *Receiver3Edit;
  // "GPS "
  QComboBox *GPSPortComboBox, *GPSBaudComboBox, *GPSpinPPSComboBox;
  QLabel *GPSPortLbl, *GPSBaudLbl, *GPSPPSLbl;
  QCheckBox *GPSSyncChkBox, *GPSValidOnlyChkBox, *GPSDecNumChkBox, *GPSDelayChkBox;
  QLineEdit *GPSIntervalEdit, *GPSMaxDiffEdit;
  // "Seismograph (GSE) "
  QLineEdit *SeismographEdit, *SerialNumberEdit, *FlagZedit, *FlagNedit, *FlagEedit;
  // "Saving Conditions"
  QCheckBox *SaveAllChkBox, *NoValidTimeChkBox, *NoPPSChkBox, *SaveGPSChkBox;
  // "miniSEED / SeedLink"
  QLineEdit *NetworkEdit, *LocationEdit, *ArchiveDirEdit, *SeedLinkPortEdit, *SeedLinkAllowEdit;
  QCheckBox *ArchiveChkBox, *SeedLinkChkBox;
  // Value lists: column 0 the row name ("AIN0"), column 1 the value.
  QTableWidget *SensorListEditor, *AveragesListEditor, *OffsetsListEditor, *SensitivityListEditor;
  QPushButton *SaveBtn, *BackBtn;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  void reject() override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ModelChanged(bool fromModelBox);
  void ClearLists();
  void AppendRow(QTableWidget* list, int channel, const QString& value);
  void SetRates(const std::string& model);
  void ShowMessage(const QString& text);
  // Fills `w` from the controls; false with the message naming the field
  // when one does not convert, so that nothing is saved.
  bool FillWorkingRecord(TProgParam& w, QString& error);
  std::string Relative(const QString& path) const;

  const TProgParam* m_running = nullptr;
  const ArrayOfDataType* m_offsets = nullptr;
  std::function<void(bool)> m_savedHook;
  const ArrayOfReal* m_adGain = nullptr;
  const ProgramFiles* m_files = nullptr;
  int m_saved = 0;  // never reset during a run
  std::vector<QGroupBox*> m_groups;
};
