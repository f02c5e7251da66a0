#include "app/SpanishQt.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// What Qt 6 asks under a context its Spanish catalog (written for Qt 5) does not have yet:
// the file dialog's "Tipo" column for folders, drives and links. Everything else falls
// through to Qt's own translations.
class MissingQtSpanish final : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const std::pair<const char*, const char*> kWords[] = {
            {"Folder", "Carpeta"},          {"File Folder", "Carpeta"}, {"Drive", "Unidad"},
            {"Shortcut", "Acceso directo"}, {"Unknown", "Desconocido"},
        };
        for (const auto& [english, spanish] : kWords) {
            if (qstrcmp(sourceText, english) == 0)
                return QString::fromUtf8(spanish);
        }
        return {};
    }
};

} // namespace

bool useSpanishForQt()
{
    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    QLocale::setDefault(spanish);
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(spanish, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(new MissingQtSpanish(QCoreApplication::instance()));
    return true;
}
