#include "ui/language.h"

#include <QLineEdit>
#include <QMenuBar>

#include "station_window.h"

namespace {

class Language : public ::testing::Test {
 protected:
  void SetUp() override { clock.Set(EncodeDateTime(2026, 3, 2, 10, 0, 0)); }
  // The translator is process-wide: later tests expect English.
  void TearDown() override { SwitchLanguage("English"); }
  QStringList MenuTitles(TMainForm& f) const {
    QStringList titles;
    for (QAction* a : f.menuBar()->actions()) titles << a->text();
    return titles;
  }
  TempDir dir;
  ManualClock clock;
};

TEST_F(Language, DeutschTranslatesTheWindowsButNotTheLog) {
  WriteFile(dir.Path("velkor.ini"), QuietStationIni("Language=Deutsch\r\n"));
  StationWindow w(dir, clock);
  EXPECT_EQ(MenuTitles(*w.form), QStringList({"Export", "&Allgemein", "&Optionen", "&Hilfe"}));
  EXPECT_EQ(w.form->Action("MenuParametres")->text(), "Parameter");
  EXPECT_EQ(w.form->BtnActual->text(), "&Aktuelle Messung >");
  EXPECT_EQ(w.form->ParamsForm->windowTitle(), "Registrierparameter");
  EXPECT_EQ(w.form->TerminalForm->GSMSendBtn->text(), "Senden");
  // The panel buttons keep the hints whose first word the window swaps.
  EXPECT_EQ(w.form->BtnActual->toolTip(), "View Actual Measurement");
  EXPECT_EQ(w.Count("Inf: ****** S T A R T ******"), 1);
  w.form->BtnInfo->click();
  w.form->BtnActual->click();
  Settle();
  SavePicture(w.form.get(), "mainform_deutsch.png");
  w.form->ParamsForm->show();  // loads the running configuration
  // Messages to the operator are German too; the file and the log are not touched.
  QStringList messages;
  w.form->ParamsForm->MessageHook = [&](const QString& m) { messages << m; };
  w.form->ParamsForm->SeedLinkPortEdit->setText("0");
  w.form->ParamsForm->SaveBtn->click();
  w.form->ParamsForm->close();
  TempDir empty;
  w.form->ManualSearchDir = QString::fromStdString(empty.Dir());
  w.form->MessageHook = [&](const QString& m) { messages << m; };
  w.form->MenuManualClick();
  // The panels speak in the main window's words.
  w.form->BtnActual->click();
  w.form->BtnHistory->click();
  w.form->PanelHistory->MaskEditDateTime->setText("32.13.2026 25:61:00");
  w.form->PanelHistory->BtnPrevNextClick(THistoryStep::None);
  ASSERT_EQ(messages.size(), 3);
  EXPECT_EQ(messages[2], QString::fromUtf8("\"32.13.2026 25:61:00\" ist kein gültiges Datum mit Uhrzeit."));
  EXPECT_EQ(messages[0], "'0' ist keine gültige ganze Zahl (SeedLink-Port)");
  EXPECT_TRUE(messages[1].startsWith("Das Handbuch wurde nicht gefunden: weder manual.html"))
      << messages[1].toStdString();
  EXPECT_EQ(w.Count("Err:"), 0);
}

TEST_F(Language, UnknownNameLogsOneErrorAndKeepsEnglish) {
  WriteFile(dir.Path("velkor.ini"), QuietStationIni("Language=Klingon\r\n"));
  StationWindow w(dir, clock);
  EXPECT_EQ(w.Count("Err:"), 1);
  EXPECT_EQ(w.Count("Err: No translation Language/Klingon.qm, English kept."), 1);
  EXPECT_EQ(MenuTitles(*w.form), QStringList({"Export", "&General", "&Options", "&Help"}));
}

}  // namespace
