#pragma once
// The operator's own choices, kept per user between starts (not in the
// installation's settings, which the agent only reads): the main window's
// fields, size and position, the monitors' column widths, the folder of
// the last export. Never throws; a choice that cannot be stored is simply
// not remembered.

#include <QString>
#include <QVariant>

class QHeaderView;

namespace replica::screens {

QVariant rememberedChoice(const QString& key, const QVariant& unset = {});
void rememberChoice(const QString& key, const QVariant& value);

// Where the save dialog of an export starts: name in the folder of the last
// export (name alone before the first).
QString exportStart(const QString& name);
// Remembers the folder of file, the export just written.
void rememberExportFolder(const QString& file);

// The widths of the header's columns by title, under key; restoring sets
// the remembered ones (the stretched last column keeps its own).
void rememberColumnWidths(const QString& key, const QHeaderView& header);
void restoreColumnWidths(const QString& key, QHeaderView& header);

}  // namespace replica::screens
