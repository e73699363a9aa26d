#pragma once

class QCoreApplication;

// Everything the program shows is Japanese, whatever the user's locale:
// its own texts, Qt's and the C library's.

// The C library takes the language of its messages (the reasons given in
// I/O errors) from the LANGUAGE list ahead of any locale; clearing it lets
// the Japanese locale give them. Call first thing in main, before any other
// thread runs: the environment is not safe to change after that.
void clearMessageLanguageList();

// Installs Qt's own Japanese texts (context menus, standard buttons, its
// error strings) from qtbase_ja.qm in Qt's translations directory. Where that
// catalogue is not installed, returns false and Qt's texts stay English.
bool installJapaneseQtTexts(QCoreApplication& application);
