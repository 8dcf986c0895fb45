#include "ui/manual.h"

#include <QAction>
#include <QDesktopServices>
#include <QTextBrowser>

#include "station_window.h"

namespace {

TEST(ManualTest, FoundBesideTheProgramThenInstalledThenInTheStation) {
  struct Row {
    const char* legend;
    std::vector<std::string> present;  // relative to a root with bin/ and station/
    const char* expected;              // empty: not found
  };
  const Row rows[] = {
      {"build tree", {"bin/manual.html", "share/doc/velkor/manual.html", "station/docs/manual.html"},
       "bin/manual.html"},
      {"installed", {"share/doc/velkor/manual.html", "station/docs/manual.html"},
       "share/doc/velkor/manual.html"},
      {"a folder of that name is no manual", {"bin/manual.html/"}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    TempDir root;
    std::filesystem::create_directories(root.Path("bin"));
    for (const std::string& p : row.present) {
      std::filesystem::create_directories(std::filesystem::path(root.Path(p)).parent_path());
      if (p.back() != '/') WriteFile(root.Path(p), "<html></html>");
    }
    const QString found = FindManual(QString::fromStdString(root.Path("bin")),
                                     QString::fromStdString(root.Path("station/docs/manual.html")));
    const std::string want = *row.expected ? root.Path(row.expected) : "";
    EXPECT_EQ(found.toStdString(), want);
  }
}

class ManualMenuTest : public StationWindowTest {
 protected:
  // Catches what the desktop would open.
  void SetUp() override {
    StationWindowTest::SetUp();
    QDesktopServices::setUrlHandler("file", &opened, "setSource");
  }
  void TearDown() override { QDesktopServices::unsetUrlHandler("file"); }
  void PressF1() {
    QAction* item = Form().Action("MenuManual");
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::Key_F1));
    item->trigger();
    Settle();
  }
  QTextBrowser opened, later;
};

// The build puts the manual beside every executable, this test's included;
// without it the station's copy is opened, and without that the operator is told.
TEST_F(ManualMenuTest, OpensTheManualBesideTheProgramThenTheStationCopy) {
  PressF1();
  EXPECT_TRUE(w->messages.isEmpty());
  EXPECT_EQ(opened.source(), QUrl::fromLocalFile(QDir(QCoreApplication::applicationDirPath())
                                                     .absoluteFilePath("manual.html")));
  EXPECT_TRUE(opened.toPlainText().contains("The event log and its categories"));

  QDesktopServices::setUrlHandler("file", &later, "setSource");
  TempDir empty;
  Form().ManualSearchDir = QString::fromStdString(empty.Dir());
  PressF1();
  ASSERT_EQ(w->messages.size(), 1);
  EXPECT_TRUE(w->messages[0].contains(QString::fromStdString(dir.Path("docs/manual.html"))));
  EXPECT_TRUE(later.source().isEmpty());
  std::filesystem::create_directories(dir.Path("docs"));
  WriteFile(dir.Path("docs/manual.html"), "<html><body>station copy</body></html>");
  PressF1();
  EXPECT_EQ(w->messages.size(), 1);
  EXPECT_EQ(later.source(), QUrl::fromLocalFile(QString::fromStdString(dir.Path("docs/manual.html"))));
}

}  // namespace
