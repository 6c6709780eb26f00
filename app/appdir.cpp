#include "app/appdir.h"

#include <QSettings>
#include <QString>
#include <cstdlib>

#include "app/commandline.h"
#include "screens/choices.h"

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

std::chrono::seconds databaseTimeout(std::optional<long> commandLine,
                                     const std::function<void(const std::string&)>& notify) {
    if (commandLine) {
        return std::chrono::seconds(*commandLine);
    }
    const QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, "QTX",
                             "NorvaleERP2026");
    if (!settings.contains(kTimeoutSetting)) {
        return kDefaultTimeout;
    }
    const QString text = settings.value(kTimeoutSetting).toString().trimmed();
    bool whole = false;
    const long seconds = text.toLong(&whole);
    if (whole && seconds >= 1 && seconds <= kMaxTimeoutSeconds) {
        return std::chrono::seconds(seconds);
    }
    if (notify) {
        notify(std::string(kTimeoutSetting) + " '" + text.toStdString() + "': " +
               kTimeoutValueMessage + " Se usan " + std::to_string(kDefaultTimeout.count()) + ".");
    }
    return kDefaultTimeout;
}

bool wireCompression(const std::function<void(const std::string&)>& notify) {
    const QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, "QTX",
                             "NorvaleERP2026");
    const QString text = settings.value(kCompressionSetting).toString().trimmed().toUpper();
    if (text == "S") {
        return true;
    }
    if (!text.isEmpty() && text != "N" && notify) {
        notify(std::string(kCompressionSetting) + " '" + text.toStdString() +
               "': debe ser S o N. Se usa N.");
    }
    return false;
}

namespace {
constexpr const char* kAtomicDocumentsKey = "DocumentosCompletos";
}

bool rememberedAtomicDocuments() {
    return screens::rememberedChoice(kAtomicDocumentsKey, false).toBool();
}

void rememberAtomicDocuments(bool on) {
    screens::rememberChoice(kAtomicDocumentsKey, on);
}

}  // namespace replica::app
