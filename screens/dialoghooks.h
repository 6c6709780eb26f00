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

}  // namespace replica::screens
