#pragma once

#include <QLocale>

class QCoreApplication;
class QTranslator;

// Qt's own texts (file dialogs, message-box buttons, context menus) in
// Chinese, from the translations that come with Qt. Both programs install
// them at start when the interface is Chinese (CUiTranslator).
class CQtTranslations {
public:
    static QLocale InterfaceLocale() { return QLocale(QLocale::Chinese, QLocale::China); }

    // Loads Qt's translation for locale from Qt's translations folder and
    // installs it on application, which owns it. nullptr when there is none
    // for that locale: Qt's texts then stay English.
    static QTranslator* Install(QCoreApplication& application,
                                const QLocale& locale = InterfaceLocale());
};
