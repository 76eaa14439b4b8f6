#pragma once
// What the windowed program sets up in Qt before its first window.
#include <QString>

class QCoreApplication;

namespace tarvik {

// The interface is Russian whatever the user's locale, so Qt's own texts (file dialogs,
// Yes/No buttons, its messages) are made Russian too: Qt's Russian catalogue
// ("qtbase_ru.qm" from `folder`, by default Qt's translations folder) is installed. False
// when it is missing; the program then runs with Qt's English texts.
bool UseRussianQt(QCoreApplication& app, const QString& folder = {});

}  // namespace tarvik
