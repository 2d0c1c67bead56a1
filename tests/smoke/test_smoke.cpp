#include "U_locale.h"
#include <QtTest>

class SmokeTest : public QObject {
    Q_OBJECT
private slots:
    void polishSeparators() {
        SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
        QCOMPARE(UserFormatSettings().DecimalSeparator, QChar(u','));
        QCOMPARE(UserFormatSettings().DateSeparator, QChar(u'.'));
        QCOMPARE(UserFormatSettings().LongMonthNames.size(), 12);
    }
};
QTEST_GUILESS_MAIN(SmokeTest)
#include "test_smoke.moc"
