#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool SpeaksRussian(const QLocale& locale)
{
    const QStringList languages = locale.uiLanguages();
    return !languages.isEmpty() && QLocale(languages.front()).language() == QLocale::Russian;
}

void InstallTranslations()
{
    if (!SpeaksRussian(QLocale::system()))
        return;
    QCoreApplication* app = QCoreApplication::instance();
    // The window's texts are built into the program. Qt's own come from the
    // system's Qt translations where they are installed; without them the standard
    // buttons stay English and everything else still works.
    auto* own = new QTranslator(app);
    if (own->load(QStringLiteral(":/i18n/marks-editor_ru.qm")))
        QCoreApplication::installTranslator(own);
    auto* qt = new QTranslator(app);
    if (qt->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
}
