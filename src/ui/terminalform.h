#pragma once
// The terminal window: the operator talks to the GPS receiver (top half) and
// the GSM modem (bottom half) through two serial ports of the window's own.
// The station's use of its ports is suspended by the main window meanwhile.
#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

#include "serial/comport.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TLamp;

class TTerminalForm : public QDialog {
  Q_OBJECT
 public:
  explicit TTerminalForm(QWidget* parent = nullptr);
  ~TTerminalForm() override;

  TComPort& GPSComPort() { return *m_gpsPort; }
  TComPort& GSMComPort() { return *m_gsmPort; }

  void GPSOpenBtnClick();
  void GSMOpenBtnClick();
  void GPSSettingsBtnClick();
  void GSMSettingBtnClick();
  void GSMSendBtnClick();
  // Both "Save" buttons; `memo` tells which half.
  void SaveBtnClick(QPlainTextEdit* memo);
  void FormClose();

  // The save dialog (empty result: cancelled), the port setup (false:
  // cancelled) and the messages of failed actions; tests replace them.
  std::function<QString(const QString& dir)> SaveFileHook;
  std::function<bool(TComSettings& settings)> SetupHook;
  std::function<void(const QString&)> MessageHook;

  QPlainTextEdit *GPSMemo, *GSMMemo;
  QPushButton *GPSOpenBtn, *GPSSettingsBtn, *GPSClearBtn, *GPSSaveBtn;
  QPushButton *GSMOpenBtn, *GSMSettingBtn, *GSMClearBtn, *GSMSaveBtn, *GSMSendBtn;
  QLineEdit* Edit;
  QCheckBox *CRLFCheckBox, *CtrlZCheckBox;
  QPushButton* BackBtn;  // zero size: Enter and Escape close the window

 protected:
  void done(int result) override;

 private:
  void SetUpPort(TComPort& port, QPlainTextEdit* memo, QPushButton* openBtn, bool gsm);
  QWidget* NewLamps(TComPort& port, const std::vector<std::pair<const char*, TLedSignal>>& lines,
                    const char* prefix);
  void OpenPort(TComPort& port);
  void Settings(TComPort& port);
  void ShowMessage(const QString& text);

  std::unique_ptr<TComPort> m_gpsPort, m_gsmPort;
  std::vector<std::unique_ptr<TComLed>> m_leds;
};
