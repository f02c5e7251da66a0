#pragma once

#include "record/SessionSave.h"
#include "views/FileSave.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QAbstractScrollArea;

// A pane's text held in memory, handed out in pieces of the given size.
PaneSource paneOf(const QByteArray& bytes, qsizetype piece = 1 << 20);

struct SaveResult {
    FileSave::Outcome outcome = FileSave::Outcome::Failed;
    QString reason;
};
// Runs a save to its end, the event loop turning meanwhile.
SaveResult saveAndWait(const QString& path, SaveContent content);

// A file's whole contents; empty if it cannot be read.
QByteArray fileBytes(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

// The entries of a view's context menu as a right click opens it: greyed ones marked
// " (gris)", chosen ones " (✓)", separators empty.
QStringList contextMenuOf(QAbstractScrollArea& view);
