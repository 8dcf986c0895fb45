#include "ui/logview.h"

#include <QAction>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <filesystem>
#include <thread>

#include "station_window.h"

namespace {

class LogViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view.MessageHook = [this](const QString& text) { messages << text; };
  }
  void TearDown() override { view.hide(); }
  QString Text() const { return view.RichEdit->toPlainText(); }
  QString LastLine() const { return Text().section('\n', -1); }
  void Append(const std::string& text) { WriteFile(path, ReadFile(path) + text); }

  TempDir dir;
  std::string path = dir.Path("velkor.log");
  TLogViewForm view;
  QStringList messages;
};

TEST_F(LogViewTest, LoadsTheWholeFileAsLatin1AndShowsItsLastLine) {
  std::string log;
  for (int i = 0; i < 200; ++i) log += "05.12.2026 14:03:27.058 Inf: line " + std::to_string(i) + "\r\n";
  log += "05.12.2026 14:03:28.000 GPS: K\xD6L 48\xB0" "12.5 N\r\n";
  WriteFile(path, log);

  ASSERT_TRUE(view.Open(path));
  Settle();
  EXPECT_TRUE(view.isVisible());
  EXPECT_EQ(view.windowTitle(), "Log File View");
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(view.RichEdit->document()->blockCount(), 201) << "CR LF ends add no empty lines";
  EXPECT_EQ(LastLine(), QString::fromUtf8("05.12.2026 14:03:28.000 GPS: KÖL 48°12.5 N"));
  QScrollBar* bar = view.RichEdit->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  // Fixed pitch as drawn: some monospace faces do not declare it.
  const QFontMetrics metrics(view.RichEdit->font());
  EXPECT_EQ(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));
  EXPECT_EQ(QFontInfo(view.RichEdit->font()).pixelSize(), 11);

  // A live line follows the file's last line directly and stays in view.
  view.AddLine("05.12.2026 14:03:29.000 Tim: \xB5 live");
  Settle();
  EXPECT_EQ(view.RichEdit->document()->blockCount(), 202);
  EXPECT_EQ(LastLine(), QString::fromUtf8("05.12.2026 14:03:29.000 Tim: µ live"));
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(LogViewTest, LimitIsTenMillionBytes) {
  for (const auto& [size, opens] : {std::pair<std::uintmax_t, bool>{9'999'999, true}, {10'000'000, false}}) {
    SCOPED_TRACE(size);
    messages.clear();
    view.hide();
    // Sparse: a line, a hole of zeros as a power cut can leave one, a last line.
    const std::string last = "05.12.2026 14:09:00.000 Inf: last\r\n";
    WriteFile(path, "05.12.2026 14:03:27.058 Inf: first\r\n");
    std::filesystem::resize_file(path, size - last.size());
    Append(last);
    ASSERT_EQ(std::filesystem::file_size(path), size);

    EXPECT_EQ(view.Open(path), opens);
    Settle();
    EXPECT_EQ(view.isVisible(), opens);
    EXPECT_EQ(messages, opens ? QStringList() : QStringList{"Log file is too large to view."});
    // The zeros are dropped; the text after them is not cut off.
    if (opens) {
      EXPECT_EQ(Text(), "05.12.2026 14:03:27.058 Inf: first\n05.12.2026 14:09:00.000 Inf: last");
    }
  }
}

TEST_F(LogViewTest, MissingFileShowsAnEmptyViewAnOpenOneStaysEscapeClosesAndAnUnreadableOneTells) {
  ASSERT_TRUE(view.Open(path));
  EXPECT_TRUE(view.isVisible());
  EXPECT_TRUE(Text().isEmpty());
  EXPECT_TRUE(messages.isEmpty());
  // Opening while visible does not reload.
  view.AddLine("b");
  WriteFile(path, "c\r\n");
  EXPECT_TRUE(view.Open(path));
  EXPECT_EQ(Text(), "b");
  // Escape closes like Back: Back is the cancel button of the whole window.
  for (QWidget* target : std::initializer_list<QWidget*>{view.RichEdit, view.PauseBtn}) {
    ASSERT_TRUE(view.Open(path));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    Settle();
    EXPECT_FALSE(view.isVisible());
  }

  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_FALSE(view.Open(path));
  EXPECT_FALSE(view.isVisible());
  EXPECT_EQ(messages, QStringList{"Log file cannot be opened."});
}

TEST_F(LogViewTest, PausedLinesAppearOnlyAfterReopening) {
  WriteFile(path, "a\r\n");
  ASSERT_TRUE(view.Open(path));
  view.PauseBtn->click();
  EXPECT_EQ(std::pair(view.Paused(), view.PauseBtn->font().bold()), std::pair(true, true));
  view.AddLine("b");
  Append("b\r\n");
  EXPECT_EQ(Text(), "a");

  view.BackBtn->click();
  EXPECT_FALSE(view.isVisible());
  EXPECT_TRUE(view.Paused()) << "closing keeps the pause";
  view.AddLine("c");  // hidden: nothing appended
  Append("c\r\n");
  ASSERT_TRUE(view.Open(path));
  EXPECT_EQ(Text(), "a\nb\nc");
  view.AddLine("d");
  EXPECT_EQ(Text(), "a\nb\nc") << "still paused after reopening";

  view.PauseBtn->click();
  EXPECT_EQ(std::pair(view.Paused(), view.PauseBtn->font().bold()), std::pair(false, false));
  view.AddLine("e");
  EXPECT_EQ(Text(), "a\nb\nc\ne");
}

TEST_F(StationWindowTest, LogViewMenuOpensTheLogAndWorkerLinesArrive) {
  QAction* item = Form().Action("MenuViewLog");
  EXPECT_EQ(item->shortcut(), QKeySequence(Qt::Key_F12));
  item->trigger();
  Settle();
  ASSERT_TRUE(Form().LogView->isVisible());
  std::thread worker([&] { w->station.IndicateSaveLog("Inf: from a worker \xE9"); });
  worker.join();
  Settle();
  EXPECT_EQ(Form().LogView->RichEdit->toPlainText().section('\n', -1),
            QString::fromUtf8("02.03.2026 10:00:00.000 Inf: from a worker é"));
}

}  // namespace
