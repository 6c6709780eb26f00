#include "screens/dialoghooks.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QWidget>
#include <algorithm>
#include <stdexcept>

#include "screens/choices.h"

namespace replica::screens {

namespace {

// Room beside the title for the window manager's icon and buttons.
constexpr int kTitleBarExtra = 160;

int showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
            QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, boxTitle(parent), text, buttons, parent);
    fitTitle(box);
    return box.exec();
}

}  // namespace

bool saveExport(QWidget* parent, const DialogHooks& hooks, const QString& name,
                const exporting::Table& table) {
    QStringList filters;
    for (const exporting::FileType& t : exporting::kFileTypes) {
        filters << QString::fromUtf8(t.filter);
    }
    QString chosen;
    int filter = 0;
    if (!hooks.saveFile(parent, exportStart(name), filters, chosen, filter)) {
        return false;
    }
    filter = std::clamp(filter, 0, static_cast<int>(exporting::kFileTypes.size()) - 1);
    const exporting::Format format = exporting::kFileTypes[static_cast<std::size_t>(filter)].format;
    const QString path =
        QString::fromStdString(exporting::exportFileName(chosen.toStdString(), format));
    const std::string bytes = exporting::exportBytes(table, format);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.flush()) {
        throw std::runtime_error("No se pudo escribir el archivo " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    }
    rememberExportFolder(path);
    return true;
}

QString boxTitle(QWidget* parent) {
    if (parent) {
        return parent->window()->windowTitle();
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active->windowTitle();
    }
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && !top->windowTitle().isEmpty()) {
            return top->windowTitle();
        }
    }
    return {};
}

void fitTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) {
        return;
    }
    const int wanted = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarExtra;
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

DialogHooks DialogHooks::standard() {
    DialogHooks h;
    h.message = [](QWidget* parent, const QString& text) {
        showBox(parent, QMessageBox::Information, text, QMessageBox::Ok);
    };
    h.warning = [](QWidget* parent, const QString& text) {
        showBox(parent, QMessageBox::Warning, text, QMessageBox::Ok);
    };
    h.confirm = [](QWidget* parent, const QString& text) {
        return showBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    h.saveFile = [](QWidget* parent, const QString& defaultName, const QStringList& filters,
                    QString& file, int& filter) {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(filters);
        dialog.selectFile(defaultName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return false;
        }
        file = dialog.selectedFiles().first();
        filter = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
        return true;
    };
    return h;
}

}  // namespace replica::screens
