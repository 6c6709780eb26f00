#include "screens/choices.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QSettings>
#include <QVariantMap>

namespace replica::screens {

namespace {

QSettings userSettings() {
    return {QSettings::NativeFormat, QSettings::UserScope, "QTX", "replica"};
}

constexpr const char* kExportFolderKey = "CarpetaExportacion";

}  // namespace

QVariant rememberedChoice(const QString& key, const QVariant& unset) {
    return userSettings().value(key, unset);
}

void rememberChoice(const QString& key, const QVariant& value) {
    QSettings settings = userSettings();
    settings.setValue(key, value);
    settings.sync();
}

QString exportStart(const QString& name) {
    const QString folder = rememberedChoice(kExportFolderKey).toString();
    return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}

void rememberExportFolder(const QString& file) {
    rememberChoice(kExportFolderKey, QFileInfo(file).absolutePath());
}

void rememberColumnWidths(const QString& key, const QHeaderView& header) {
    const QAbstractItemModel* model = header.model();
    if (!model) {
        return;
    }
    QVariantMap widths;
    for (int c = 0; c < header.count(); ++c) {
        widths.insert(model->headerData(c, header.orientation()).toString(), header.sectionSize(c));
    }
    rememberChoice(key, widths);
}

void restoreColumnWidths(const QString& key, QHeaderView& header) {
    const QAbstractItemModel* model = header.model();
    const QVariantMap widths = rememberedChoice(key).toMap();
    if (!model || widths.isEmpty()) {
        return;
    }
    const int last = header.count() - 1;
    for (int c = 0; c < header.count(); ++c) {
        const auto found = widths.find(model->headerData(c, header.orientation()).toString());
        if (found == widths.end() || (header.stretchLastSection() && c == last)) {
            continue;
        }
        const int width = found->toInt();
        if (width > 0) {
            header.resizeSection(c, width);
        }
    }
}

}  // namespace replica::screens
