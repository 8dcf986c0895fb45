#include "ui/language.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTranslator>

#include <memory>

namespace {

std::unique_ptr<QTranslator> g_translator;

// The window class whose texts an object shows: its nearest T...Form.
QByteArray ContextOf(QObject* o, QObject* window) {
  for (QObject* p = o; p; p = p->parent()) {
    const QByteArray name = p->metaObject()->className();
    if (name.startsWith('T') && name.endsWith("Form")) return name;
    if (p == window) break;
  }
  return window->metaObject()->className();
}

// The English text stays in the object, so that a text changed by code since
// the last switch is taken as the new source.
QString Translated(QObject* o, const char* key, const QString& current, const QByteArray& context) {
  const QByteArray sourceKey = QByteArray("velkorSource_") + key;
  const QByteArray shownKey = QByteArray("velkorShown_") + key;
  QString source = o->property(sourceKey.constData()).toString();
  if (!o->property(sourceKey.constData()).isValid() || current != o->property(shownKey.constData()).toString())
    source = current;
  const QString shown =
      source.isEmpty() ? source : QCoreApplication::translate(context.constData(), source.toUtf8().constData());
  o->setProperty(sourceKey.constData(), source);
  o->setProperty(shownKey.constData(), shown);
  return shown;
}

// The panel buttons' hints begin with the verb that the main window swaps
// ("View", "Hide", "Show"), so they stay English.
bool KeepsHint(const QObject* o) {
  const QString n = o->objectName();
  return n == "BtnActual" || n == "BtnHistory" || n == "BtnInfo";
}

void RetranslateObject(QObject* o, const QByteArray& context) {
  if (auto* w = qobject_cast<QWidget*>(o)) {
    if (w->isWindow()) w->setWindowTitle(Translated(w, "windowTitle", w->windowTitle(), context));
    if (!KeepsHint(w)) {
      if (!w->toolTip().isEmpty()) w->setToolTip(Translated(w, "toolTip", w->toolTip(), context));
      if (!w->statusTip().isEmpty()) w->setStatusTip(Translated(w, "statusTip", w->statusTip(), context));
    }
  }
  if (auto* b = qobject_cast<QAbstractButton*>(o)) b->setText(Translated(b, "text", b->text(), context));
  if (auto* l = qobject_cast<QLabel*>(o)) l->setText(Translated(l, "text", l->text(), context));
  if (auto* g = qobject_cast<QGroupBox*>(o)) g->setTitle(Translated(g, "title", g->title(), context));
  if (auto* m = qobject_cast<QMenu*>(o)) m->setTitle(Translated(m, "title", m->title(), context));
  if (auto* a = qobject_cast<QAction*>(o)) {
    if (!a->isSeparator() && !a->menu()) a->setText(Translated(a, "text", a->text(), context));
    if (!a->statusTip().isEmpty()) a->setStatusTip(Translated(a, "statusTip", a->statusTip(), context));
  }
  if (auto* t = qobject_cast<QTableWidget*>(o)) {
    for (int c = 0; c < t->columnCount(); ++c) {
      QTableWidgetItem* h = t->horizontalHeaderItem(c);
      if (!h) continue;
      if (!h->data(Qt::UserRole).isValid() || h->text() != h->data(Qt::UserRole + 1).toString())
        h->setData(Qt::UserRole, h->text());
      const QString source = h->data(Qt::UserRole).toString();
      h->setText(QCoreApplication::translate(context.constData(), source.toUtf8().constData()));
      h->setData(Qt::UserRole + 1, h->text());
    }
  }
}

}  // namespace

QString LanguageDir() {
  // Beside the executable in a build tree; share/velkor/Language when installed.
  const QDir exe(QCoreApplication::applicationDirPath());
  const QString installed = exe.filePath("../share/velkor/Language");
  if (!QDir(exe.filePath("Language")).exists() && QDir(installed).exists())
    return QDir::cleanPath(installed);
  return exe.filePath("Language");
}

void RetranslateWindow(QWidget* window) {
  RetranslateObject(window, ContextOf(window, window));
  for (QObject* o : window->findChildren<QObject*>()) RetranslateObject(o, ContextOf(o, window));
}

bool SwitchLanguage(const QString& name, const QString& dir) {
  std::unique_ptr<QTranslator> next;
  if (!name.isEmpty() && name.compare("English", Qt::CaseInsensitive) != 0) {
    const QString file = QDir(dir).filePath(name + ".qm");
    next = std::make_unique<QTranslator>();
    if (!QFileInfo(file).isFile() || !next->load(file)) return false;
  }
  if (g_translator) QCoreApplication::removeTranslator(g_translator.get());
  g_translator = std::move(next);
  if (g_translator) QCoreApplication::installTranslator(g_translator.get());
  // Child windows are reached through their parents' trees, each in its own context.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (!w->parentWidget()) RetranslateWindow(w);
  return true;
}
