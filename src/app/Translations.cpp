#include "app/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translations {

namespace {

// kavo_NAME.qm from `from`, when it is there.
QTranslator* own(const QString& name, const QString& from)
{
    auto* translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("kavo_") + name, from))
        return translator;
    delete translator;
    return nullptr;
}

} // namespace

QString folder()
{
    const QDir program(QCoreApplication::applicationDirPath());
    if (QFileInfo(program.filePath(QStringLiteral("translations"))).isDir())
        return program.filePath(QStringLiteral("translations"));
    return QDir::cleanPath(program.filePath(QStringLiteral(KAVO_TRANSLATIONS_RELATIVE)));
}

QString install(const QString& from, const QStringList& languages)
{
    // Installed first, so that it is asked last.
    if (QTranslator* plurals = own(QStringLiteral("en"), from))
        QCoreApplication::installTranslator(plurals);
    for (const QString& wanted : languages) {
        // The user would rather read English than the next language listed.
        const QLocale::Language language = QLocale(wanted).language();
        if (language == QLocale::English || language == QLocale::C)
            return {};
        // "de-AT" takes kavo_de_AT.qm, else kavo_de.qm (QTranslator drops
        // the last "_…" until a file is there).
        QTranslator* kavo = own(QString(wanted).replace(u'-', u'_'), from);
        if (!kavo)
            continue;
        // Qt's own texts in the same language, under Kavo's.
        auto* qt = new QTranslator(qApp);
        if (qt->load(QLocale(wanted), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt);
        else
            delete qt;
        QCoreApplication::installTranslator(kavo);
        return QFileInfo(kavo->filePath()).completeBaseName().mid(5); // less "kavo_"
    }
    return {};
}

} // namespace Translations
