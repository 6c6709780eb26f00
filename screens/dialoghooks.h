#pragma once
// How the operator screens talk to a person in modal boxes.
//
// Every message box, confirmation and save-file dialog a screen shows goes
// through one of these hooks, so that a test (or a headless host) replaces
// them and nothing ever waits for a click that cannot come. standard()
// gives the real boxes. A screen copies its hooks at construction; replace
// them through the screen's hooks() before driving it.
//
// ErrorSink is the application's handling of an error that the screen does
// not handle itself (a query refused, a lost connection): the main window
// passes its error capture; without one the screen shows the message.

#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "screens/export.h"

class QMessageBox;
class QWidget;

namespace replica::screens {

struct DialogHooks {
    // An information box with the single button OK.
    std::function<void(QWidget* parent, const QString& text)> message;
    // A box with the warning icon and the single button OK: an error the
    // operator must read (a refused change, a failed query).
    std::function<void(QWidget* parent, const QString& text)> warning;
    // A confirmation offering Yes and No; true only for Yes.
    std::function<bool(QWidget* parent, const QString& text)> confirm;
    // A save-file dialog: starts at defaultName, offers filters in order;
    // on acceptance fills file and filter (index into filters) and returns
    // true; false when cancelled.
    std::function<bool(QWidget* parent, const QString& defaultName, const QStringList& filters,
                       QString& file, int& filter)>
        saveFile;

    static DialogHooks standard();
};

using ErrorSink = std::function<void(const std::string& message)>;

// The export of a screen: asks for the file (starting in the folder of the
// last export) and its format, and writes table there. false when the
// operator cancelled; throws std::runtime_error when the file cannot be
// written.
bool saveExport(QWidget* parent, const DialogHooks& hooks, const QString& name,
                const exporting::Table& table);

// A box's title: the title of the window it belongs to (with no parent, the
// active window's, or the first visible one's), never the program's file
// name.
QString boxTitle(QWidget* parent);
// Widens box so that a window manager shows its whole title (a short
// question otherwise cut "Configuración compañías" down to a few letters).
void fitTitle(QMessageBox& box);

}  // namespace replica::screens
