#include "StorageTests.h"
#include "U_error.h"
#include "U_utils.h"

#include <QtTest>

class UtilsTest : public QObject {
    Q_OBJECT
private slots:
    void folders() {
        AppFolderFixture app;
        QCOMPARE(GetAppFolder(), app.path());
        QCOMPARE(GetDataFolder(), app.path() + "data/");
        QCOMPARE(GetReportsFolder(), app.path() + "data reports/");
        QCOMPARE(GetTemplateFolder(), app.path() + "data/template/");
    }
    void foldersDefaultToExecutable() {
        SetAppFolder(QString());
        QCOMPARE(GetAppFolder(), QCoreApplication::applicationDirPath() + "/");
    }

    void sanitize_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("file");
        QTest::newRow("separators")
            << u"  Sprzedaż/2024: Q1?  "_qs << u"Sprzedaż_2024_ Q1_"_qs << u"Sprzedaż_2024_ Q1_"_qs;
        QTest::newRow("backslash") << u"Kadry\\Płace"_qs << u"Kadry\\Płace"_qs << u"Kadry_Płace"_qs;
        QTest::newRow("dots") << u"Kadry\\Płace wersja 1.2"_qs << u"Kadry\\Płace wersja 1_2"_qs
                              << u"Kadry_Płace wersja 1_2"_qs;
        QTest::newRow("others untouched") << "a*b|c\"d <e>"
                                          << "a*b|c\"d _e_"
                                          << "a*b|c\"d _e_";
        QTest::newRow("control chars trimmed") << "\t\r\nabc\x01"
                                               << "abc"
                                               << "abc";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void sanitize() {
        QFETCH(QString, text);
        QFETCH(QString, path);
        QFETCH(QString, file);
        QCOMPARE(SanitizePath(text), path);
        QCOMPARE(SanitizeFileName(text), file);
    }

    void version() { QCOMPARE(GetVersionString(), QStringLiteral("1.0.0.1891")); }

    void dateToSql_data() {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("sql");
        QTest::newRow("2024") << QDate(2024, 3, 5) << "'20240305'";
        QTest::newRow("999") << QDate(999, 1, 1) << "'09990101'";
        QTest::newRow("end of year") << QDate(2023, 12, 31) << "'20231231'";
    }
    void dateToSql() {
        QFETCH(QDate, date);
        QFETCH(QString, sql);
        QCOMPARE(DateToSQL(date), sql);
    }

    void textDateToSql_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sql"); // empty: an error
        QTest::newRow("zeros") << "05.03.2024"
                               << "'20240305'";
        QTest::newRow("no zeros") << "5.3.2024"
                                  << "'20240305'";
        QTest::newRow("blanks") << " 31.12.2023 "
                                << "'20231231'";
        QTest::newRow("leap day") << "29.02.2024"
                                  << "'20240229'";
        QTest::newRow("two-digit year") << "1.2.24"
                                        << "'20240201'";
        QTest::newRow("impossible") << "29.02.2023"
                                    << "";
        QTest::newRow("month 13") << "1.13.2024"
                                  << "";
        QTest::newRow("other separator") << "2024-03-05"
                                         << "";
        QTest::newRow("letters") << "a.b.2024"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("too many parts") << "1.2.3.4"
                                        << "";
    }
    void textDateToSql() {
        QFETCH(QString, text);
        QFETCH(QString, sql);
        if (sql.isEmpty())
            QVERIFY_THROWS_EXCEPTION(EOrvelError, TextDateToSQL(text));
        else
            QCOMPARE(TextDateToSQL(text), sql);
    }
    void textDateWithoutYearIsThisYear() {
        QCOMPARE(TextDateToSQL("5.3"), DateToSQL(QDate(QDate::currentDate().year(), 3, 5)));
    }

    void sqlToDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("error");
        QTest::newRow("valid") << "20240305" << QDate(2024, 3, 5) << false;
        QTest::newRow("ten chars") << "2024-03-05" << QDate::currentDate() << false;
        QTest::newRow("empty") << "" << QDate::currentDate() << false;
        QTest::newRow("letters") << "2024AB05" << QDate() << true;
        QTest::newRow("month 13") << "20241340" << QDate() << true;
        QTest::newRow("year 0") << "00000101" << QDate() << true;
        QTest::newRow("sign") << "2024+305" << QDate() << true;
    }
    void sqlToDate() {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QFETCH(bool, error);
        if (error)
            QVERIFY_THROWS_EXCEPTION(EOrvelError, SQLToDate(text));
        else
            QCOMPARE(SQLToDate(text), date);
    }

    void unquote_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("doubled quote") << "'it''s'"
                                       << "it's";
        QTest::newRow("trimmed") << "'  abc  '"
                                 << "abc";
        QTest::newRow("number") << "123"
                                << "123";
        QTest::newRow("null") << "NULL"
                              << "NULL";
        QTest::newRow("empty literal") << "''"
                                       << "''";
        QTest::newRow("blank literal") << "'   '"
                                       << "'   '";
        QTest::newRow("after closing") << "'a' + 'b'"
                                       << "a";
        QTest::newRow("quote at end") << "'x'''"
                                      << "x'";
        QTest::newRow("unterminated") << "'abc"
                                      << "abc";
        QTest::newRow("empty") << ""
                               << "";
    }
    void unquote() {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(UnquoteSQLString(text), result);
    }

    void cutAtLastChar_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("trailing") << "a;b;"
                                  << "a;b";
        QTest::newRow("middle") << "a;b"
                                << "a";
        QTest::newRow("none") << "abc"
                              << "abc";
        QTest::newRow("empty") << ""
                               << "";
    }
    void cutAtLastChar() {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(CutAtLastChar(text, u';'), result);
    }

    void fieldKinds_data() {
        QTest::addColumn<TFieldType>("type");
        QTest::addColumn<QString>("name");
        QTest::newRow("guid") << TFieldType::ftGuid << "tekst";
        QTest::newRow("wide string") << TFieldType::ftWideString << "tekst";
        QTest::newRow("currency") << TFieldType::ftCurrency << "liczba";
        QTest::newRow("word") << TFieldType::ftWord << "liczba";
        QTest::newRow("bcd") << TFieldType::ftBCD << "liczba";
        QTest::newRow("time") << TFieldType::ftTime << "data";
        QTest::newRow("boolean") << TFieldType::ftBoolean << "logiczny";
        QTest::newRow("long text") << TFieldType::ftMemo << "";
        QTest::newRow("blob") << TFieldType::ftBlob << "";
        QTest::newRow("unknown") << TFieldType::ftUnknown << "";
    }
    void fieldKinds() {
        QFETCH(TFieldType, type);
        QFETCH(QString, name);
        QCOMPARE(FieldTypeName(type), name);
        // Exactly one kind test answers yes, and only for the kinds that have a name.
        const int yes = int(IsNumericField(type)) + int(IsStringField(type)) +
                        int(IsDateTimeField(type)) + int(IsBooleanField(type));
        QCOMPARE(yes, name.isEmpty() ? 0 : 1);
        QCOMPARE(IsStringField(type), name == "tekst");
        QCOMPARE(IsNumericField(type), name == "liczba");
    }

    void trimAndCase() {
        QCOMPARE(TrimText(QString("\x01\t a b \r\n ")), QStringLiteral("a b"));
        QCOMPARE(TrimText(u"\u00A0x\u00A0"_qs), u"\u00A0x\u00A0"_qs); // code 160 is kept
        QCOMPARE(AsciiUpper(u"łódź abc Ż"_qs), u"łóDź ABC Ż"_qs);
        QCOMPARE(AsciiLower(u"ŁÓDŹ ABC"_qs), u"ŁÓdŹ abc"_qs);
    }

    void userName() { QVERIFY(!GetSystemUserName().isEmpty()); }
};


std::unique_ptr<QObject> MakeUtilsTest() {
    return std::make_unique<UtilsTest>();
}
#include "tst_utils.moc"
