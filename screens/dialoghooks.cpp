#include "screens/dialoghooks.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

namespace replica::screens {

namespace {

// A box is titled after the window it belongs to.
QString titleFor(QWidget* parent) {
    return parent ? parent->window()->windowTitle() : QString();
}

}  // namespace

DialogHooks DialogHooks::standard() {
    DialogHooks h;
    h.message = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, titleFor(parent), text);
    };
    h.warning = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, titleFor(parent), text);
    };
    h.confirm = [](QWidget* parent, const QString& text) {
        return QMessageBox::question(parent, titleFor(parent), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
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
