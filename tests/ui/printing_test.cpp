#include "ui/printing.h"

#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

#include "pixels.h"
#include "station_window.h"

namespace {

// A confirming dialog that sends the job to a PDF file.
TPrintDialog ToPdf(const std::string& path, const std::function<void()>& inDialog) {
  return [=](QPrinter& p) {
    inDialog();
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QString::fromStdString(path));
    return true;
  };
}

int BlackPixels(const QImage& image, const QRect& area) {
  return CountIn(image, area, [&](int x, int y) {
    const QRgb c = image.pixel(x, y);
    return qRed(c) < 64 && qGreen(c) < 64 && qBlue(c) < 64;
  });
}

class PrintingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A ramp on channel 0 only: the lower bands carry just the grid, so black there is the caption.
    for (int f = 0; f < 1000; ++f)
      for (int k = 0; k < kChannelCount; ++k)
        samples.push_back(k == 0 ? ((f % 100) - 50) * 1000 : 0);
    wave.resize(600, 400);
    wave.setWindowTitle("KOL 02.03.2026 10:00:00 100 Hz 0");
    wave.SetPaintProcedure([this] {
      coloursSeen.push_back(wave.Colours());
      WaveformInput in;
      in.Samples = samples;
      in.Mask = {1, 0, 0, 0, 0, 0, 0, 0};
      in.SampleRate = 100;
      return in;
    });
  }

  TempDir dir;
  std::vector<int32_t> samples;
  TWaveForm wave;
  QPushButton pause;
  std::vector<TWaveColours> coloursSeen;
  bool pauseEnabledInDialog = true;
};

TEST_F(PrintingTest, CancelledDialogLeavesWindowBlackAndPauseAsItWas) {
  for (bool enabled : {true, false}) {
    pause.setEnabled(enabled);
    QPrinter printer;
    bool asked = false;
    const TPrintResult r = PrintSeismogram(wave, &pause, printer, [&](QPrinter& p) {
      asked = true;
      pauseEnabledInDialog = pause.isEnabled();
      // The dialog already sees the job as it will be printed.
      EXPECT_EQ(p.docName(), "Seismogram KOL 02.03.2026 10:00:00 100 Hz 0");
      EXPECT_EQ(p.pageLayout().orientation(), QPageLayout::Landscape);
      return false;
    });
    EXPECT_EQ(r, TPrintResult::Cancelled);
    EXPECT_TRUE(asked);
    EXPECT_EQ(pauseEnabledInDialog, !enabled) << "inverted while the dialog is open";
    EXPECT_EQ(pause.isEnabled(), enabled);
    EXPECT_EQ(wave.Colours(), TWaveColours::Screen);
    EXPECT_EQ(wave.palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_TRUE(coloursSeen.empty()) << "nothing painted for a cancelled print";
  }
}

TEST_F(PrintingTest, ConfirmedPrintWritesLandscapeSeismogramOnWhite) {
  const std::string pdfPath = dir.Path("seismogram.pdf");
  QPrinter printer(QPrinter::HighResolution);
  const TPrintDialog dialog = ToPdf(pdfPath, [&] { pauseEnabledInDialog = pause.isEnabled(); });
  ASSERT_EQ(PrintSeismogram(wave, &pause, printer, dialog), TPrintResult::Printed);

  EXPECT_EQ(std::pair(pauseEnabledInDialog, pause.isEnabled()), std::pair(false, true)) << "turned in the dialog";
  ASSERT_FALSE(coloursSeen.empty());
  EXPECT_EQ(coloursSeen.back(), TWaveColours::Print) << "the page is painted on white";
  EXPECT_EQ(wave.Colours(), TWaveColours::Screen) << "and the window is black again";

  ASSERT_EQ(ReadFile(pdfPath).rfind("%PDF", 0), 0u);

  const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
  if (pdftoppm.isEmpty()) GTEST_SKIP() << "pdftoppm not installed: the page was not looked at";
  const QString stem = QString::fromStdString(dir.Path("page"));
  ASSERT_EQ(QProcess::execute(pdftoppm, {"-png", "-r", "60", "-singlefile", QString::fromStdString(pdfPath), stem}), 0);
  const QImage image(stem + ".png");
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(image.width(), image.height()) << "landscape";
  QDir().mkpath(VELKOR_ARTEFACTS);
  image.save(QStringLiteral(VELKOR_ARTEFACTS "/seismogram.png"));  // for a look by eye

  // The 600 × 400 picture is scaled to fit the printable area and centred.
  const QPageLayout layout = printer.pageLayout();
  const QRectF full = layout.fullRectPoints(), paint = layout.paintRectPoints();
  const double px = image.width() / full.width();
  const QRectF target(paint.left() * px, paint.top() * px, paint.width() * px, paint.height() * px);
  const double scale = std::min(target.width() / 600, target.height() / 400);
  const QPointF origin = target.center() - QPointF(300 * scale, 200 * scale);
  const auto area = [&](double x, double y, double w, double h) {
    return QRectF(origin.x() + x * scale, origin.y() + y * scale, w * scale, h * scale).toRect();
  };
  EXPECT_EQ(image.pixel(area(250, 160, 1, 1).topLeft()) & 0xFFFFFFu, 0xFFFFFFu) << "white paper";
  EXPECT_GT(BlackPixels(image, area(300, 0, 300, 50)), 20) << "trace of channel 0 in black";
  // Bottom right, in the last band: the caption, and nothing black beside it.
  EXPECT_GT(BlackPixels(image, area(400, 360, 200, 40)), 20) << "caption at the bottom right";
  EXPECT_EQ(BlackPixels(image, area(150, 310, 200, 40)), 0);
}

// The Print buttons share the live view's Pause button, turned while the
// dialog is open; a failed print is not passed off as done.
TEST_F(StationWindowTest, AFailedPrintTellsTheOperator) {
  Click(Form().BtnHistory);
  QPushButton* pause = Form().PanelActual->BtnPause;
  const bool pauseEnabled = pause->isEnabled();
  bool pauseInDialog = pauseEnabled;
  Form().PrintDialogHook = ToPdf(dir.Path("no/such/dir/h.pdf"), [&] { pauseInDialog = pause->isEnabled(); });
  Click(Form().PanelHistory->BtnPrintHist);
  ASSERT_EQ(w->messages.size(), 1);
  EXPECT_EQ(pauseInDialog, !pauseEnabled);
  EXPECT_EQ(pause->isEnabled(), pauseEnabled);
  EXPECT_EQ(Form().WaveForm->Colours(), TWaveColours::Screen);
}

}  // namespace
