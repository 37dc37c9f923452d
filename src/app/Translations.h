#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

// Kavo's own translations and Qt's (its dialogs' buttons, its context
// menus), in the first of the user's languages that Kavo speaks
// (QLocale::system().uiLanguages(): $LANGUAGE, then $LC_ALL, $LC_MESSAGES,
// $LANG). The sources are English; their plural forms ("%n items") come from
// an English translation of those messages alone, installed always, under
// the user's language.
namespace Translations {

// Where Kavo's .qm files are: "translations" beside the program when it
// runs from its build folder, else the installed share folder.
QString folder();

// Installs them from `from` into the application object, which must exist,
// for the first of `languages` that Kavo has; the translators live as long
// as the application object. Answers the language installed ("de",
// "fr_CA", …), empty for English or when Kavo has none of them.
QString install(const QString& from = folder(),
                const QStringList& languages = QLocale::system().uiLanguages());

} // namespace Translations
