#include "app/ServerFrm.h"
#include "platform/MemoryPolicy.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    keepLargeBuffersForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setOrganizationName(QStringLiteral("Belmaro"));

    ServerFrm window;
    window.show();
    return QApplication::exec();
}
