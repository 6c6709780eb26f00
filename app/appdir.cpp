#include "app/appdir.h"

#include <QSettings>
#include <QString>
#include <cstdlib>

namespace replica::app {

std::string applicationDirectory(const std::function<void(const std::string&)>& notify) {
    if (const char* overridden = std::getenv(kDirectoryEnvironment); overridden && *overridden) {
        return overridden;
    }
    // Opened for reading only: QSettings never writes unless asked to.
    const QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, "QTX",
                             "NorvaleERP2026");
    if (settings.contains("Directorio")) {
        return settings.value("Directorio").toString().toStdString();
    }
    if (notify) {
        notify(kMissingDirectoryMessage);
    }
    return {};
}

}  // namespace replica::app
