#include "ui/printing.h"

#include <QFont>
#include <QFontInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "ui/waveform.h"

namespace {

// Inverts the button's enabled state for its lifetime, so every way out of
// the print restores it.
class EnabledInversion {
 public:
  explicit EnabledInversion(QPushButton* button) : m_button(button) { Invert(); }
  ~EnabledInversion() { Invert(); }
  EnabledInversion(const EnabledInversion&) = delete;
  EnabledInversion& operator=(const EnabledInversion&) = delete;

 private:
  void Invert() {
    if (m_button) m_button->setEnabled(!m_button->isEnabled());
  }
  QPushButton* m_button;
};

// White background while the page is painted, the previous colours after.
class PrintColours {
 public:
  explicit PrintColours(TWaveForm& wave) : m_wave(wave), m_saved(wave.Colours()) {
    m_wave.SetColours(TWaveColours::Print);
  }
  ~PrintColours() { m_wave.SetColours(m_saved); }
  PrintColours(const PrintColours&) = delete;
  PrintColours& operator=(const PrintColours&) = delete;

 private:
  TWaveForm& m_wave;
  TWaveColours m_saved;
};

}  // namespace

TPrintDialog SystemPrintDialog(QWidget* parent) {
  return [parent](QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
  };
}

QString SeismogramJobTitle(const QString& caption) {
  return QStringLiteral("Seismogram ") + caption;
}

TPrintResult PrintSeismogram(TWaveForm& wave, QPushButton* pauseButton, QPrinter& printer,
                             const TPrintDialog& dialog) {
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setDocName(SeismogramJobTitle(wave.windowTitle()));

  const EnabledInversion pauseLock(pauseButton);
  if (!dialog || !dialog(printer)) return TPrintResult::Cancelled;

  const PrintColours white(wave);
  QPainter painter;
  // An unusable printer or output file: the operator must hear of it rather
  // than believe the seismogram went out.
  if (!painter.begin(&printer)) return TPrintResult::PrinterFailed;
  // Labels keep their on-screen size relative to the picture: a point size
  // would be taken at the printer's resolution and then scaled once more.
  QFont font = wave.font();
  font.setPixelSize(QFontInfo(wave.font()).pixelSize());
  painter.setFont(font);
  wave.RenderTo(painter, QRect(0, 0, printer.width(), printer.height()), wave.Colours());
  return painter.end() ? TPrintResult::Printed : TPrintResult::PrinterFailed;
}
