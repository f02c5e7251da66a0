#include "app/MemoryPolicy.h"
#include "app/ServerFrm.h"
#include "app/SpanishQt.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    keepLargeBuffersForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setOrganizationName(QStringLiteral("Belmaro"));
    // Ties the window to its installed desktop entry, whose icon the desktop then shows for it.
    QApplication::setDesktopFileName(QStringLiteral("org.belmaro.Quorvane"));
    useSpanishForQt();

    ServerFrm window;
    window.show();
    return QApplication::exec();
}
