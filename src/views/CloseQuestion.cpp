#include "views/CloseQuestion.h"

#include "base/ControlError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString counted(qint64 count, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(QLocale(QLocale::Spanish).toString(count),
                                       count == 1 ? one : many);
}

// "las 09:14:03", or "el 11/03/2025 a las 23:50:12" when it was not today.
QString since(qint64 msecsSinceEpoch)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    const QString time = when.toString(QStringLiteral("HH:mm:ss"));
    if (when.date() == QDate::currentDate())
        return QStringLiteral("las %1").arg(time);
    return QStringLiteral("el %1 a las %2").arg(when.toString(QStringLiteral("dd/MM/yyyy")), time);
}

} // namespace

AskClose askCloseWithMessageBox()
{
    return [](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text,
                        QMessageBox::NoButton, parent);
        QPushButton* save = box.addButton(QStringLiteral("Guardar…"), QMessageBox::AcceptRole);
        QPushButton* discard =
            box.addButton(QStringLiteral("Cerrar sin guardar"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
        box.setDefaultButton(save);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == save)
            return CloseAnswer::Save;
        if (box.clickedButton() == discard)
            return CloseAnswer::CloseWithoutSaving;
        return CloseAnswer::Cancel;
    };
}

QString closeQuestionText(const SessionKeeping::Unkept& unkept, const QStringList& saving)
{
    QStringList parts;
    if (unkept.bytes > 0) {
        parts << QStringLiteral("Lo recibido desde %1 no está guardado: %2 en %3. Si cierra sin "
                                "guardar, se pierde.")
                     .arg(since(unkept.sinceMsecs),
                          counted(unkept.bytes, QStringLiteral("byte"), QStringLiteral("bytes")),
                          counted(unkept.rows, QStringLiteral("fila"), QStringLiteral("filas")));
    }
    for (const QString& path : saving) {
        parts << QStringLiteral("Todavía se está guardando %1: si cierra ahora, ese archivo no se "
                                "termina y queda como estaba.")
                     .arg(quoted(path));
    }
    parts << (unkept.bytes > 0
                  ? QStringLiteral("«Guardar…» guarda la sesión entera como CSV y cierra la "
                                   "ventana cuando termina.")
                  : QStringLiteral("«Guardar…» espera a que termine de guardarse y cierra la "
                                   "ventana."));
    return parts.join(QStringLiteral("\n\n"));
}
