#include "app/windowchoices.h"

#include <QSettings>

namespace replica::app {

namespace {
constexpr const char* kAtomicDocumentsKey = "DocumentosCompletos";
}

bool rememberedAtomicDocuments() {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "QTX", "replica");
    return settings.value(kAtomicDocumentsKey, false).toBool();
}

void rememberAtomicDocuments(bool on) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "QTX", "replica");
    settings.setValue(kAtomicDocumentsKey, on);
    settings.sync();
}

}  // namespace replica::app
