#pragma once
// The log viewer: the event log file as plain text, followed live while the
// window is visible and not paused. Created once with the main window and
// hidden and shown as needed; the pause flag lives as long as the window.
#include <QWidget>

#include <functional>
#include <string>

class QPlainTextEdit;
class QPushButton;

class TLogViewForm : public QWidget {
  Q_OBJECT
 public:
  // A file of this size or more is not loaded.
  static constexpr qint64 kMaxViewBytes = 10'000'000;
  static constexpr const char* kTooLargeText = "Log file is too large to view.";
  static constexpr const char* kCannotOpenText = "Log file cannot be opened.";

  explicit TLogViewForm(QWidget* parent = nullptr);

  // The menu's "View log". Does nothing while visible; otherwise loads the
  // whole file, scrolls to its last line and shows the window. A missing file
  // shows an empty view. Returns whether the window is visible afterwards.
  bool Open(const std::string& logFile);
  // One logged line (timestamp, blank, message; 8-bit text, no line end).
  // Appended only while visible and not paused.
  void AddLine(const std::string& line);

  void PauseBtnClick();
  void BackBtnClick();
  bool Paused() const { return m_paused; }
  // Places the text view and the buttons for the current client size.
  void FormResize();

  // Receives the operator messages instead of a modal box (tests).
  std::function<void(const QString&)> MessageHook;

  QPlainTextEdit* RichEdit = nullptr;
  QPushButton* PauseBtn = nullptr;
  QPushButton* BackBtn = nullptr;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowMessage(const QString& text);
  bool RichEditKeyDown(QKeyEvent* event);

  bool m_paused = false;
};
