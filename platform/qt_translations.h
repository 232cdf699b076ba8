#pragma once

#include <string>

class QCoreApplication;

namespace zorvan {

// Installs the shipped translation for the user's languages, or the English
// one when none matches, from the resources under ":/i18n"
// (<baseName>_<lang>.qm). Call on the GUI thread after the application object
// exists. Returns false when no translation could be loaded: the texts then
// show their keys.
bool installTranslations(QCoreApplication& app, const char* baseName = "zorvan");

// The display text of `key` in the context "Localizable"; the key itself when
// there is no entry. Callable from any thread.
std::string localizedString(const char* key);

}  // namespace zorvan
