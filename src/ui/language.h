#pragma once
// The user-interface language. "English" is built in; another name loads the
// Qt translation Language/<name>.qm beside the executable. Log lines, file
// contents and messages stay English: peers and stored files depend on them.
#include <QString>

class QWidget;

// The folder of the translations: "Language" beside the executable.
QString LanguageDir();
// Installs the translation of `name` and retranslates every open window; an
// empty name or "English" removes the installed one. False, with English
// kept, when the name has no readable translation file.
bool SwitchLanguage(const QString& name, const QString& dir = LanguageDir());
// Sets the captions, titles and hints of `window` and its children from their
// English source texts, in the context of the window's class (TMainForm, ...).
void RetranslateWindow(QWidget* window);
