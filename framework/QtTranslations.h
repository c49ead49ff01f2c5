#pragma once
// Qt's own texts (the Cancel and Yes of its dialogs, its file chooser) in the user's
// language, from Qt's translations (Debian's qt6-translations-l10n); the program's own texts
// come from its language files. Without Qt's translations, Qt's texts stay English.

#include <QLocale>

// Loads Qt's translation for `locale` into the application; false when there is none.
bool InstallQtTranslations(const QLocale& locale);
