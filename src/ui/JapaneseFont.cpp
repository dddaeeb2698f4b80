#include "ui/JapaneseFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace mt {

void UseJapaneseFont(QApplication& app) {
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    if (japanese.isEmpty()) {
        return;
    }
    QString family = japanese.constFirst();
    for (const char* preferred : {"IPAPGothic", "IPAGothic", "Noto Sans CJK JP"}) {
        if (japanese.contains(QLatin1String(preferred))) {
            family = QLatin1String(preferred);
            break;
        }
    }
    QFont font = QApplication::font();
    font.setFamily(family);
    app.setFont(font);
}

} // namespace mt
