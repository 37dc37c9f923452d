#include "app/Prefs.h"
#include "model/ShelfStore.h"
#include "snapshot/Snapshot.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--version") {
            QTextStream(stdout) << "kavo " KAVO_VERSION "\n";
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            QTextStream(stdout) << "Usage: kavo\n";
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavo"));
    QApplication::setApplicationVersion(QStringLiteral(KAVO_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    Prefs::registerDefaults();
    Snapshot::runIfRequested(QCoreApplication::arguments());
    ShelfStore::cleanUpOldPromises();
    return app.exec();
}
