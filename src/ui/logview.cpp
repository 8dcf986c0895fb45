#include "ui/logview.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <filesystem>
#include <fstream>

#include "ui/qt_text.h"

namespace {
constexpr int kMargin = 8;
constexpr int kButtonWidth = 75, kButtonHeight = 25;
constexpr int kPauseOffset = 80;  // left of Pause, measured from the left of Back

// The file's CR LF ends become line breaks; the end of the last line adds no
// empty line, so live lines follow the file's last line directly. NUL bytes
// (the zero-filled blocks a power cut can leave) are dropped: they carry no
// text, and as one line of megabytes they would stall the view.
QString LogText(std::string bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    if (c != '\0') out.push_back(c);
  }
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return Latin1(out);
}
}  // namespace

TLogViewForm::TLogViewForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("LogViewForm");
  setWindowTitle("Log File View");

  RichEdit = new QPlainTextEdit(this);
  RichEdit->setObjectName("RichEdit");
  RichEdit->setReadOnly(true);
  RichEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
  RichEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Log columns line up only in a fixed-pitch face.
  QFont font("Courier New");
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(11);
  RichEdit->setFont(font);
  RichEdit->installEventFilter(this);

  PauseBtn = new QPushButton("Pause", this);
  PauseBtn->setObjectName("PauseBtn");
  BackBtn = new QPushButton("Back", this);
  BackBtn->setObjectName("BackBtn");
  for (QPushButton* b : {PauseBtn, BackBtn}) {
    b->setFixedSize(kButtonWidth, kButtonHeight);
    b->setAutoDefault(false);
  }
  connect(PauseBtn, &QPushButton::clicked, this, &TLogViewForm::PauseBtnClick);
  connect(BackBtn, &QPushButton::clicked, this, &TLogViewForm::BackBtnClick);

  // FormCreate: half the screen's height, two thirds of its width.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize s = screen->geometry().size();
    resize((s.width() / 3) * 2, s.height() / 2);
  }
  FormResize();
}

bool TLogViewForm::Open(const std::string& logFile) {
  if (isVisible()) return true;
  namespace fs = std::filesystem;
  std::error_code ec;
  const bool exists = fs::exists(logFile, ec);
  std::string bytes;
  if (exists) {
    std::ifstream in;
    if (!fs::is_directory(logFile, ec)) in.open(logFile, std::ios::binary | std::ios::ate);
    if (!in.is_open()) {
      ShowMessage(kCannotOpenText);
      return false;
    }
    const std::streamoff size = in.tellg();
    if (size < 0) {
      ShowMessage(kCannotOpenText);
      return false;
    }
    if (size >= kMaxViewBytes) {
      ShowMessage(kTooLargeText);
      return false;
    }
    // Only what the size promised: lines appended meanwhile come live.
    bytes.resize(static_cast<size_t>(size));
    in.seekg(0);
    in.read(bytes.data(), size);
    bytes.resize(static_cast<size_t>(in.gcount()));
  }
  // No file yet (nothing logged, or logging off): an empty view.
  RichEdit->setPlainText(LogText(std::move(bytes)));
  show();
  raise();
  activateWindow();
  // The last line at the bottom, its start in view.
  RichEdit->moveCursor(QTextCursor::End);
  RichEdit->moveCursor(QTextCursor::StartOfBlock);
  QScrollBar* bar = RichEdit->verticalScrollBar();
  bar->setValue(bar->maximum());
  return true;
}

void TLogViewForm::AddLine(const std::string& line) {
  if (!isVisible() || m_paused) return;
  RichEdit->appendPlainText(Latin1(line));
  RichEdit->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void TLogViewForm::PauseBtnClick() {
  m_paused = !m_paused;
  QFont f = PauseBtn->font();
  f.setBold(m_paused);
  PauseBtn->setFont(f);
}

void TLogViewForm::BackBtnClick() { hide(); }

void TLogViewForm::FormResize() {
  const int w = width(), h = height();
  RichEdit->setGeometry(kMargin, kMargin, w - 2 * kMargin, h - 48);
  BackBtn->move(w - BackBtn->width() - kMargin, h - 32);
  PauseBtn->move(BackBtn->x() - kPauseOffset, BackBtn->y());
}

void TLogViewForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

// Back is the window's cancel button: Escape anywhere in the window closes it.
void TLogViewForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    BackBtnClick();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TLogViewForm::RichEditKeyDown(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) return false;
  BackBtnClick();
  return true;
}

bool TLogViewForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == RichEdit && event->type() == QEvent::KeyPress &&
      RichEditKeyDown(static_cast<QKeyEvent*>(event)))
    return true;
  return QWidget::eventFilter(watched, event);
}

void TLogViewForm::ShowMessage(const QString& text) {
  if (MessageHook) {
    MessageHook(text);
    return;
  }
  QMessageBox::information(parentWidget() ? parentWidget() : this,
                           QGuiApplication::applicationDisplayName(), text);
}
