#include "platform/qt_translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace zorvan {

namespace {

// Keeps the alert's keys known to lupdate.
[[maybe_unused]] constexpr const char* kAlertTexts[] = {
    QT_TRANSLATE_NOOP("Localizable", "Alert_Title"),
    QT_TRANSLATE_NOOP("Localizable", "Alert_Info"),
    QT_TRANSLATE_NOOP("Localizable", "Alert_OK"),
    QT_TRANSLATE_NOOP("Localizable", "Alert_Cancel"),
};

}  // namespace

bool installTranslations(QCoreApplication& app, const char* baseName) {
    auto* translator = new QTranslator(&app);
    const QString folder = QStringLiteral(":/i18n");
    const QString name = QString::fromLatin1(baseName);
    if (translator->load(QLocale(), name, QStringLiteral("_"), folder) ||
        translator->load(name + QStringLiteral("_en"), folder)) {
        return QCoreApplication::installTranslator(translator);
    }
    delete translator;
    return false;
}

std::string localizedString(const char* key) {
    return QCoreApplication::translate("Localizable", key).toStdString();
}

}  // namespace zorvan
