#include "support/Saving.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>

PaneSource paneOf(const QByteArray& bytes, qsizetype piece)
{
    return {
        bytes.size(), [bytes, piece](const std::function<bool(QByteArrayView)>& visit) {
            for (qsizetype at = 0; at < bytes.size(); at += piece) {
                if (!visit(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at))))
                    return false;
            }
            return true;
        }};
}

SaveResult saveAndWait(const QString& path, SaveContent content)
{
    FileSave save(path, std::move(content));
    QSignalSpy finished(&save, &FileSave::finished);
    save.start();
    if (finished.isEmpty() && !finished.wait(30'000))
        return {FileSave::Outcome::Failed, QStringLiteral("(the save never ended)")};
    return {finished.at(0).at(0).value<FileSave::Outcome>(), finished.at(0).at(1).toString()};
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qWarning("could not write %s", qPrintable(path));
}

QStringList contextMenuOf(QAbstractScrollArea& view)
{
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            offered << action->text() +
                           (action->isEnabled() ? QString() : QStringLiteral(" (gris)")) +
                           (action->isChecked() ? QStringLiteral(" (✓)") : QString());
        menu->close();
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                            view.viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view.viewport(), &click);
    return offered;
}
