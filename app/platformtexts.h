#pragma once
// What the toolkit itself shows the operator: its standard buttons and
// dialogs in Spanish, and window captions that stand alone.
//
// Qt's own texts ("Yes", "No", "Cancel", the save dialog's labels) come
// from the translations of the system (Debian: qt6-translations-l10n);
// without them those texts stay in English and nothing else changes.

#include <QString>

namespace replica::app {

// Loads Qt's Spanish translations (qtbase_es) into the application, once
// per process. Returns whether they are loaded.
bool installPlatformTranslations();

// The program's title, taken out of the window captions: on X11 the
// platform appends a set display name to every caption (and the captions
// get cut), so the display name is emptied and the title is returned for
// the places that name the program (the tray icon). Later calls return the
// title taken last ("" when none was ever set).
QString takeProgramTitle();

}  // namespace replica::app
