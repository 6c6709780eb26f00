#include "app/platformtexts.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace replica::app {

bool installPlatformTranslations() {
    static QTranslator* installed = nullptr;
    if (installed) {
        return true;
    }
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    // Owned by the application; forgotten with it.
    QObject::connect(QCoreApplication::instance(), &QObject::destroyed,
                     [] { installed = nullptr; });
    return true;
}

QString takeProgramTitle() {
    static QString title;
    const QString shown = QGuiApplication::applicationDisplayName();
    if (!shown.isEmpty() && shown != QCoreApplication::applicationName()) {
        title = shown;
    }
    QGuiApplication::setApplicationDisplayName(QString());
    return title;
}

}  // namespace replica::app
