#pragma once
// Printing the waveform window as a seismogram: landscape, black on white,
// job titled "Seismogram " + the window caption, which the picture also
// carries at its bottom right.
#include <QString>
#include <functional>

class QPrinter;
class QPushButton;
class QWidget;
class TWaveForm;

// The print dialog: true when the operator confirms. It may change the
// printer (device, file, orientation) as a real dialog does. Tests replace
// it so that no modal dialog waits for a click.
using TPrintDialog = std::function<bool(QPrinter& printer)>;

// The platform's print dialog, modal over `parent`.
TPrintDialog SystemPrintDialog(QWidget* parent);

enum class TPrintResult {
  Printed,
  Cancelled,    // the dialog was not confirmed; nothing changed
  PrinterFailed,  // the printer (or its output file) could not be opened
};

QString SeismogramJobTitle(const QString& caption);

// One print of `wave` through `printer`. `pauseButton` (may be null) is
// disabled-inverted around the dialog, so that the live picture cannot be
// resumed while the operator chooses; its state and the window's colours
// are as before when this returns, whatever the outcome.
TPrintResult PrintSeismogram(TWaveForm& wave, QPushButton* pauseButton, QPrinter& printer,
                             const TPrintDialog& dialog);
