// Closing the window: it never throws received bytes away, nor a save in progress, without
// asking.

#include "app/ServerFrm.h"

#include "codes/SessionCapture.h"
#include "views/FileSave.h"
#include "views/SessionKeeping.h"

#include <QCloseEvent>

void ServerFrm::closeEvent(QCloseEvent* event)
{
    // What has arrived is handed to a running capture: it is in the file before the window
    // goes.
    m_capture->catchUp();
    const SessionKeeping::Unkept unkept = m_keeping->unkept();
    // Nothing to lose: the window closes at once, as designed.
    if (unkept.bytes == 0 && m_saves.isEmpty()) {
        dispatch([this] { Form_Unload(); });
        event->accept();
        return;
    }
    event->ignore();
    QStringList saving;
    for (const FileSave* save : std::as_const(m_saves))
        saving << save->path();
    switch (m_askClose(this, closeQuestionText(unkept, saving))) {
    case CloseAnswer::Cancel:
        m_closeWhenSaved = false;
        return;
    case CloseAnswer::CloseWithoutSaving:
        for (FileSave* save : std::as_const(m_saves))
            save->cancel();
        dispatch([this] { Form_Unload(); });
        event->accept();
        return;
    case CloseAnswer::Save:
        // With nothing left to keep, "Guardar…" waits for the saves under way.
        if (unkept.bytes > 0 && !saveSessionBeforeClosing())
            return;
        m_closeWhenSaved = true;
        return;
    }
}

void ServerFrm::watchSave(FileSave* save, int keepingWriter)
{
    m_saves.append(save);
    connect(save, &FileSave::finished, this,
            [this, save, keepingWriter](FileSave::Outcome outcome) {
                m_saves.removeOne(save);
                const bool saved = outcome == FileSave::Outcome::Saved;
                if (keepingWriter != 0)
                    m_keeping->finish(keepingWriter, saved);
                // A save that failed (and was told) or was cancelled keeps the window open.
                if (!saved)
                    m_closeWhenSaved = false;
                // Closing asks again if more arrived meanwhile.
                if (m_closeWhenSaved && m_saves.isEmpty()) {
                    m_closeWhenSaved = false;
                    close();
                }
            });
}
