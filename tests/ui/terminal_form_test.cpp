#include "ui/terminalform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "station_window.h"
#include "support/pty.h"
#include "ui/portsetup.h"

namespace {

// Lets the port's event thread hand its deliveries to this thread, with a bound.
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 250 && !done(); ++i) {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

// Points a half's port at `port` through its Settings button.
void UsePort(TTerminalForm& t, QPushButton* settings, const std::string& port) {
  t.SetupHook = [port](TComSettings& s) {
    s.Port = port;
    return true;
  };
  settings->click();
}

TEST(TerminalForm, SendWritesTheCommandLineAndShowsTheAnswerAsLatin1) {
  const std::tuple<bool, bool, std::string> rows[] = {
      {false, false, "AT"}, {true, false, "AT\r\n"}, {true, true, "AT\x1A\r\n"}, {false, true, "AT\x1A"}};
  for (const auto& [crlf, ctrlZ, wire] : rows) {
    SCOPED_TRACE(wire);
    Pty modem;
    TTerminalForm t;
    UsePort(t, t.GSMSettingBtn, modem.path);
    t.GSMOpenBtn->click();
    ASSERT_TRUE(t.GSMComPort().Connected());
    EXPECT_EQ(std::pair(t.GSMOpenBtn->text(), t.GSMSendBtn->isEnabled()), std::pair(QString("Close"), true));
    t.Edit->setText("AT");
    t.CRLFCheckBox->setChecked(crlf);
    t.CtrlZCheckBox->setChecked(ctrlZ);
    t.GSMSendBtn->click();
    EXPECT_EQ(modem.Receive(wire.size()), wire);
    modem.Send("\r\nOK \xE9\r\n");
    EXPECT_TRUE(Eventually([&] { return t.GSMMemo->toPlainText().contains(QString::fromUtf8("OK \xC3\xA9")); }))
        << t.GSMMemo->toPlainText().toStdString();
    t.GSMOpenBtn->click();
    EXPECT_FALSE(t.GSMComPort().Connected());
    EXPECT_EQ(std::pair(t.GSMOpenBtn->text(), t.GSMSendBtn->isEnabled()), std::pair(QString("Open"), false));
  }
}

TEST(TerminalForm, GpsHalfShowsTheReceiversSentencesAndSavesThem) {
  Pty receiver;
  TempDir dir;
  TTerminalForm t;
  UsePort(t, t.GPSSettingsBtn, receiver.path);
  t.GPSOpenBtn->click();
  ASSERT_TRUE(t.GPSComPort().Connected());
  receiver.Send("$GPRMC,100000,A*00\r\n$GPGGA,100000*00\r\n");
  ASSERT_TRUE(Eventually([&] { return t.GPSMemo->toPlainText().contains("$GPGGA,100000*00"); }));
  t.SaveFileHook = [&](const QString&) { return QString::fromStdString(dir.Path("gps")); };
  t.GPSSaveBtn->click();
  EXPECT_EQ(ReadFile(dir.Path("gps.txt")), "$GPRMC,100000,A*00\r\n$GPGGA,100000*00\r\n");
  t.GPSClearBtn->click();
  EXPECT_TRUE(t.GPSMemo->toPlainText().isEmpty());
}

TEST(TerminalForm, PortSetupOffersDevicesAndChangesEverySetting) {
  TempDir dev;
  for (const char* n : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM0", "null"}) WriteFile(dev.Path(n), "");
  const QString d = QString::fromStdString(dev.Dir());
  const QStringList ports = AvailablePorts(d);
  EXPECT_EQ(ports.mid(8), QStringList({d + "ttyACM0", d + "ttyS2", d + "ttyS10", d + "ttyUSB0", "sim-gps", "sim-gsm"}));

  TComSettings in;
  in.Port = "COM2";
  in.BaudRate = TBaudRate::br19200;
  TPortSetupForm setup(in, nullptr, ports);
  EXPECT_EQ(setup.PortComboBox->currentText(), "COM2");
  EXPECT_EQ(setup.BaudComboBox->currentText(), "19200");
  setup.PortComboBox->setCurrentText("/dev/ttyUSB0");
  setup.BaudComboBox->setCurrentText("115200");
  setup.DataBitsComboBox->setCurrentText("7");
  setup.ParityComboBox->setCurrentIndex(2);
  setup.StopBitsComboBox->setCurrentIndex(2);
  setup.FlowComboBox->setCurrentIndex(1);
  const TComSettings out = setup.Settings();
  EXPECT_EQ(out.Port, "/dev/ttyUSB0");
  EXPECT_EQ(out.BaudRate, TBaudRate::br115200);
  EXPECT_EQ(out.Format, (TLineFormat{7, TParityBits::prEven, TStopBits::sbTwoStopBits}));
  EXPECT_TRUE(out.FlowControl.OutCTSFlow);
  EXPECT_EQ(out.FlowControl.ControlRTS, TRTSFlowControl::rtsHandshake);
  EXPECT_EQ(out.FlowControl.ControlDTR, TDTRFlowControl::dtrEnable);
}

TEST_F(StationWindowTest, TerminalMenuSuspendsTheStationsPortsWhileOpenAndEnterCloses) {
  QAction* menu = Form().Action("MenuTerminal");
  std::vector<std::string> logWhileOpen;
  WhenModal([&] {
    logWhileOpen = w->log;
    TTerminalForm& t = *Form().TerminalForm;
    // The operator's check of the modem: the GSM half on sim-gsm, AT, OK.
    UsePort(t, t.GSMSettingBtn, "sim-gsm");
    t.GSMOpenBtn->click();
    t.Edit->setText("AT");
    t.GSMSendBtn->click();
    EXPECT_TRUE(Eventually([&] { return t.GSMMemo->toPlainText().contains("OK"); }));
    // Enter in the command line closes the window instead of sending.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(t.Edit, &enter);
  });
  menu->trigger();
  ASSERT_FALSE(logWhileOpen.empty());
  EXPECT_NE(logWhileOpen.back().find("Inf: Terminal activated - GPS eventually GSM suspended."), std::string::npos);
  EXPECT_NE(w->log.back().find("Inf: Terminal window closed - GPS eventually GSM re-activated."), std::string::npos);
  EXPECT_FALSE(Form().TerminalForm->GSMComPort().Connected());
}

}  // namespace
