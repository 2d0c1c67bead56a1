#include "U_ParamInput.h"
#include "U_ParamList.h"
#include "U_ParamName.h"
#include "U_ParamType.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QtTest>

Q_DECLARE_METATYPE(TOrvel_ParamType)

namespace {

TOrvel_ParamData Param(const QString &name, TOrvel_ParamType type) {
    TOrvel_ParamData d;
    d.name = name;
    d.type = type;
    return d;
}

TOrvel_ParamData FixedList(TOrvel_ParamType type, const QString &items, const QString &values) {
    TOrvel_ParamData d = Param("Lista", type);
    d.listitems = items;
    d.listvalues = values;
    return d;
}

TOrvel_ParamData SqlList(const QString &name, TOrvel_ParamType type,
                         const QString &query = "SELECT 1 AS K") {
    TOrvel_ParamData d = Param(name, type);
    d.listquery = query;
    d.key = "K";
    return d;
}

// Fills a plain input from one text: the entered text, "1" for a checked BIT, an ISO date for a
// set DATE ("" leaves it unset).
void Enter(TOrvel_ParamInput &p, const QString &input) {
    switch (p.Kind()) {
    case TOrvel_InputKind::ikBit:
        p.SetChecked(input == u"1");
        break;
    case TOrvel_InputKind::ikDate:
        p.SetDate(QDate::fromString(input, Qt::ISODate), !input.isEmpty());
        break;
    default:
        p.SetText(input);
        break;
    }
}

QString Today() {
    return DateToSQL(QDate::currentDate());
}

} // namespace

class ParamTypeTest : public QObject {
    Q_OBJECT
private slots:
    void paramNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("letters") << "Kwota" << true;
        QTest::newRow("Polish letters") << "Data_od_ąęŁ" << true;
        QTest::newRow("underscore first, digits after") << "_1rok" << true;
        QTest::newRow("127 characters") << QString(127, u'a') << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank inside") << "data od" << false;
        QTest::newRow("digit first") << "1rok" << false;
        QTest::newRow("at sign") << "@Kwota" << false;
        QTest::newRow("statement smuggled in") << "x INT; DROP TABLE T; --" << false;
        QTest::newRow("hyphen") << "kwota-netto" << false;
        QTest::newRow("128 characters") << QString(128, u'a') << false;
        QTest::newRow("other script") << "Дата" << true;
        QTest::newRow("letter outside the basic plane")
            << QString::fromUcs4(U"\U0001D400x") << true;
        QTest::newRow("hash") << "#tmp" << false;
        QTest::newRow("dollar") << "a$" << false;
        QTest::newRow("no-break space") << "a\u00A0b" << false;
        QTest::newRow("quote") << "a'b" << false;
        QTest::newRow("line break") << "a\nb" << false;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "a" << false;
        QTest::newRow("superscript digit") << "a\u00B2" << false;
    }
    void paramNames() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(IsValidParamName(name), valid);
    }
    void typeTexts_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("declaration");
        QTest::newRow("int") << TOrvel_ParamType::ptInt << "INT"
                             << "liczba całkowita"
                             << " @P INT";
        QTest::newRow("text") << TOrvel_ParamType::ptText << "TEXT"
                              << "tekst"
                              << " @P NVARCHAR(50)";
        QTest::newRow("bit") << TOrvel_ParamType::ptBit << "BIT"
                             << "logiczny"
                             << " @P BIT";
        QTest::newRow("numeric") << TOrvel_ParamType::ptNumeric << "NUMERIC"
                                 << "liczba rzeczywista"
                                 << " @P NUMERIC(50,3)";
        QTest::newRow("date") << TOrvel_ParamType::ptDate << "DATE"
                              << "data"
                              << " @P DATETIME";
    }
    void typeTexts() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QString, code);
        QFETCH(QString, name);
        QFETCH(QString, declaration);
        QCOMPARE(ParamTypeCode(type), code);
        QCOMPARE(ParamTypeName(type), name);
        QCOMPARE(ParamTypeFromCode(code), type);
        QCOMPARE(ParamTypeFromNumber(static_cast<int>(type)), type);
        TOrvel_ParamData d = Param("P", type);
        d.width = 50;
        d.decimal = 3;
        const TOrvel_ParamInput p(d);
        QCOMPARE(p.GetDeclaration(true), declaration);
        QCOMPARE(p.GetDeclaration(false), declaration.mid(2));
    }

    void unknownTypesAreInt_data() {
        QTest::addColumn<QString>("code");
        QTest::newRow("mixed case") << "Text";
        QTest::newRow("lower case") << "date";
        QTest::newRow("empty") << "";
        QTest::newRow("blank around") << " BIT";
    }
    void unknownTypesAreInt() {
        QFETCH(QString, code);
        QCOMPARE(ParamTypeFromCode(code), TOrvel_ParamType::ptInt);
    }

    void unknownNumberIsInt() {
        QCOMPARE(ParamTypeFromNumber(5), TOrvel_ParamType::ptInt);
        QCOMPARE(ParamTypeFromNumber(-1), TOrvel_ParamType::ptInt);
        QCOMPARE(ParamTypeCode(static_cast<TOrvel_ParamType>(9)), QStringLiteral("INT"));
    }

    void inputKind_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QString>("listquery");
        QTest::addColumn<QString>("listitems");
        QTest::addColumn<int>("kind");
        QTest::newRow("sql list wins over items") << TOrvel_ParamType::ptText << "SELECT 1"
                                                  << "A;B" << int(TOrvel_InputKind::ikSqlList);
        QTest::newRow("fixed list") << TOrvel_ParamType::ptDate << ""
                                    << "A;B" << int(TOrvel_InputKind::ikFixedList);
        QTest::newRow("plain bit") << TOrvel_ParamType::ptBit << ""
                                   << "" << int(TOrvel_InputKind::ikBit);
        QTest::newRow("plain date") << TOrvel_ParamType::ptDate << ""
                                    << "" << int(TOrvel_InputKind::ikDate);
    }
    void inputKind() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QString, listquery);
        QFETCH(QString, listitems);
        QFETCH(int, kind);
        TOrvel_ParamData d = Param("P", type);
        d.listquery = listquery;
        d.listitems = listitems;
        QCOMPARE(int(InputKindOf(d)), kind);
    }

    void splitList_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("plain") << "A;B;C" << QStringList{"A", "B", "C"};
        QTest::newRow("empty middle") << "A;;B" << QStringList{"A", "", "B"};
        QTest::newRow("separator at the end") << "A;B;" << QStringList{"A", "B"};
        QTest::newRow("leading separator") << ";A" << QStringList{"", "A"};
        QTest::newRow("line breaks") << "A\r\nB\nC\rD" << QStringList{"A", "B", "C", "D"};
        QTest::newRow("blanks kept") << " A ; B" << QStringList{" A ", " B"};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void splitList() {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QCOMPARE(SplitListText(text), entries);
    }
};

class ParamValueTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }
    void cleanupTestCase() { ResetUserLocale(); }

    void plainValue_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("sql");
        const auto INT = TOrvel_ParamType::ptInt, TEXT = TOrvel_ParamType::ptText,
                   BIT = TOrvel_ParamType::ptBit, NUM = TOrvel_ParamType::ptNumeric,
                   DATE = TOrvel_ParamType::ptDate;
        QTest::newRow("int with blanks") << INT << " 42 "
                                         << "42";
        QTest::newRow("int invalid") << INT << "4x2"
                                     << "0";
        QTest::newRow("int empty") << INT << ""
                                   << "NULL";
        QTest::newRow("int blanks only") << INT << "  \t"
                                         << "NULL";
        QTest::newRow("int leading zeros") << INT << "007"
                                           << "7";
        QTest::newRow("int plus sign") << INT << "+7"
                                       << "7";
        QTest::newRow("int minimum") << INT << "-2147483648"
                                     << "-2147483648";
        QTest::newRow("int overflow") << INT << "2147483648"
                                      << "0";
        QTest::newRow("int fraction") << INT << "1,5"
                                      << "0";
        QTest::newRow("text quote doubled") << TEXT << "O'Brien"
                                            << "'O''Brien'";
        QTest::newRow("text blanks only") << TEXT << "   "
                                          << "NULL";
        QTest::newRow("text blanks kept") << TEXT << "  a b  "
                                          << "'  a b  '";
        QTest::newRow("text looks like sql") << TEXT << "'; DROP TABLE t; --"
                                             << "'''; DROP TABLE t; --'";
        QTest::newRow("numeric comma") << NUM << "1,5"
                                       << "1.5";
        QTest::newRow("numeric point refused") << NUM << "1.5"
                                               << "NULL";
        QTest::newRow("numeric trimmed negative") << NUM << " -0,25 "
                                                  << "-0.25";
        QTest::newRow("numeric integer") << NUM << "12"
                                         << "12";
        QTest::newRow("numeric exponent") << NUM << "1,5e3"
                                          << "1.5e3";
        QTest::newRow("numeric grouped refused") << NUM << "1 234,5"
                                                 << "NULL";
        QTest::newRow("numeric overflow") << NUM << "1e999"
                                          << "NULL";
        QTest::newRow("numeric words") << NUM << "abc"
                                       << "NULL";
        QTest::newRow("numeric sign only") << NUM << "-"
                                           << "NULL";
        QTest::newRow("numeric empty") << NUM << ""
                                       << "NULL";
        QTest::newRow("bit checked") << BIT << "1"
                                     << "1";
        QTest::newRow("bit unchecked") << BIT << ""
                                       << "0";
        QTest::newRow("date set") << DATE << "2024-01-31"
                                  << "'20240131'";
        QTest::newRow("date early year") << DATE << "0999-01-01"
                                         << "'09990101'";
        QTest::newRow("date unset") << DATE << ""
                                    << "NULL";
    }
    void plainValue() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QString, input);
        QFETCH(QString, sql);
        TOrvel_ParamInput p(Param("P", type));
        Enter(p, input);
        QCOMPARE(p.GetSQLValue(), sql);
    }

    void dateStartsUnset() {
        const TOrvel_ParamInput p(Param("D", TOrvel_ParamType::ptDate));
        QVERIFY(!p.DateSet());
        QCOMPARE(p.Date(), QDate::currentDate());
        QCOMPARE(p.GetSQLValue(), QStringLiteral("NULL"));
    }

    void dateInEveryLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("shown");   // 10 December 2026 as the input shows it
        QTest::addColumn<QString>("pattern"); // the format in the user's words
        QTest::addColumn<QStringList>("alsoRead");
        QTest::addColumn<QStringList>("refused");
        QTest::newRow("C") << QLocale::c() << "10 Dec 2026"
                           << "DD MMM RRRR"
                           << QStringList{"10 dec 2026", " 10  Dec 2026 ", "10 12 2026",
                                          "10 December 2026"}
                           << QStringList{"10 Dec 26", "10.12.2026", "10 Dez 2026", "Dec 2026"};
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "12/10/2026"
                               << "MM/DD/RRRR" << QStringList{"12/10/2026", "12/10/2026 "}
                               << QStringList{"12/10/26", "10.12.2026", "13/10/2026",
                                              "12/10/2026x"};
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << "10.12.2026"
                               << "DD.MM.RRRR" << QStringList{"10.12.2026", " 10.12.2026 "}
                               << QStringList{"10.12.26", "12/10/2026", "10.12."};
        QTest::newRow("pl_PL") << QLocale(QLocale::Polish, QLocale::Poland) << "10.12.2026"
                               << "DD.MM.RRRR" << QStringList{"10.12.2026", " 10.12.2026 "}
                               << QStringList{"10.12.26", "10-12-2026", "32.12.2026"};
    }

    void dateInEveryLocale() {
        // What the input shows it reads back, whatever the short date format of the locale.
        QFETCH(QLocale, locale);
        QFETCH(QString, shown);
        QFETCH(QString, pattern);
        QFETCH(QStringList, alsoRead);
        QFETCH(QStringList, refused);
        SetUserLocale(locale);
        const TOrvel_FormatSettings &fs = UserFormatSettings();
        const QDate day(2026, 12, 10);
        const QString text = DateToUserText(day, fs);
        const QString patternText = DatePatternText(fs);
        QList<QDate> roundTrip;
        for (const QDate &d : {QDate(2024, 1, 31), QDate(2024, 2, 29), QDate(1, 1, 1),
                               QDate(9999, 12, 31), QDate(2000, 5, 9)})
            roundTrip << UserTextToDate(DateToUserText(d, fs), fs);
        QList<QDate> read;
        for (const QString &t : alsoRead)
            read << UserTextToDate(t, fs);
        QStringList wronglyRead;
        for (const QString &t : refused)
            if (UserTextToDate(t, fs).isValid())
                wronglyRead << t;
        SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));

        QCOMPARE(text, shown);
        QCOMPARE(patternText, pattern);
        QCOMPARE(roundTrip, (QList<QDate>{QDate(2024, 1, 31), QDate(2024, 2, 29), QDate(1, 1, 1),
                                          QDate(9999, 12, 31), QDate(2000, 5, 9)}));
        for (const QDate &d : read)
            QCOMPARE(d, day);
        QCOMPARE(wronglyRead, QStringList());
    }

    void numericUnderEnglishLocale() {
        SetUserLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        TOrvel_ParamInput p(Param("N", TOrvel_ParamType::ptNumeric));
        p.SetText("1.5");
        const QString point = p.GetSQLValue();
        p.SetText("1,5");
        const QString comma = p.GetSQLValue();
        p.SetSQLValue("2.25");
        const QString back = p.Text();
        SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
        QCOMPARE(point, QStringLiteral("1.5"));
        QCOMPARE(comma, QStringLiteral("NULL"));
        QCOMPARE(back, QStringLiteral("2.25"));
    }

    void fixedListValue_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("values");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QString>("sql");
        const auto INT = TOrvel_ParamType::ptInt, TEXT = TOrvel_ParamType::ptText,
                   DATE = TOrvel_ParamType::ptDate;
        QTest::newRow("index on int") << INT << "A;B;C"
                                      << "" << 1 << "1";
        QTest::newRow("index on text") << TEXT << "A;B;C"
                                       << "" << 1 << "'1'";
        QTest::newRow("index on date") << DATE << "A;B;C"
                                       << "" << 0 << "0";
        QTest::newRow("value on int") << INT << "A;B;C"
                                      << "X;Y;Z" << 1 << "'Y'";
        QTest::newRow("value on text") << TEXT << "A;B;C"
                                       << "X;Y;Z" << 1 << "'Y'";
        QTest::newRow("value quoted") << TEXT << "A"
                                      << "O'K" << 0 << "'O''K'";
        QTest::newRow("empty value") << TEXT << "A;B"
                                     << ";Y" << 0 << "''";
        QTest::newRow("missing value") << INT << "A;B;C"
                                       << "X;Y" << 2 << "NULL";
        QTest::newRow("nothing chosen") << INT << "A;B;C"
                                        << "X;Y;Z" << -1 << "NULL";
        QTest::newRow("position beyond captions") << INT << "A;B"
                                                  << "" << 5 << "NULL";
    }
    void fixedListValue() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QString, items);
        QFETCH(QString, values);
        QFETCH(int, chosen);
        QFETCH(QString, sql);
        TOrvel_ParamInput p(FixedList(type, items, values));
        p.SetChosenIndex(chosen);
        QCOMPARE(p.GetSQLValue(), sql);
    }

    void fixedListSetValue_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("chosen");
        const auto INT = TOrvel_ParamType::ptInt, TEXT = TOrvel_ParamType::ptText;
        QTest::newRow("quoted, other case") << INT << "X;Y;Z"
                                            << "'y'" << 1;
        QTest::newRow("bare value") << TEXT << "X;Y;Z"
                                    << "Z" << 2;
        QTest::newRow("first of equal values") << TEXT << "X;Y;y"
                                               << "Y" << 1;
        QTest::newRow("null") << INT << "X;Y;Z"
                              << "NULL" << -1;
        QTest::newRow("quoted null") << INT << "X;Y;Z"
                                     << "'NULL'" << -1;
        QTest::newRow("no such value") << INT << "X;Y;Z"
                                       << "'Q'" << -1;
        QTest::newRow("value without caption") << INT << "X;Y;Z;W"
                                               << "W" << -1;
        // Letter case is ignored for the ASCII letters only.
        QTest::newRow("non-ASCII case tells values apart") << TEXT << "Łódź;łódź"
                                                           << "łódź" << 1;
        QTest::newRow("non-ASCII capitals match no value") << TEXT << "Łódź;łódź"
                                                           << "ŁÓDŹ" << -1;
        QTest::newRow("ASCII case ignored beside non-ASCII") << TEXT << "Łódź;ŁÓDŹ"
                                                             << "'ŁÓdŹ'" << 1;
        QTest::newRow("position") << INT << ""
                                  << "2" << 2;
        QTest::newRow("quoted position") << TEXT << ""
                                         << "'1'" << 1;
        QTest::newRow("position out of range") << INT << ""
                                               << "3" << -1;
        QTest::newRow("negative position") << INT << ""
                                           << "-1" << -1;
        QTest::newRow("position not a number") << INT << ""
                                               << "B" << -1;
    }
    void fixedListSetValue() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QString, values);
        QFETCH(QString, value);
        QFETCH(int, chosen);
        TOrvel_ParamInput p(FixedList(type, "A;B;C", values));
        p.SetChosenIndex(0);
        p.SetSQLValue(value);
        QCOMPARE(p.ChosenIndex(), chosen);
    }

    void plainSetValue_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QString>("before"); // entered first, as for plainValue
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("sql");
        const auto INT = TOrvel_ParamType::ptInt, TEXT = TOrvel_ParamType::ptText,
                   BIT = TOrvel_ParamType::ptBit, NUM = TOrvel_ParamType::ptNumeric,
                   DATE = TOrvel_ParamType::ptDate;
        QTest::newRow("bit null") << BIT << "1"
                                  << "NULL"
                                  << "0";
        QTest::newRow("bit one") << BIT << ""
                                 << "1"
                                 << "1";
        QTest::newRow("bit zero") << BIT << "1"
                                  << "0"
                                  << "0";
        QTest::newRow("bit word") << BIT << "1"
                                  << "True"
                                  << "0";
        QTest::newRow("int null") << INT << "5"
                                  << "NULL"
                                  << "NULL";
        QTest::newRow("int value") << INT << ""
                                   << "12"
                                   << "12";
        QTest::newRow("int unchecked text") << INT << ""
                                            << "abc"
                                            << "0";
        QTest::newRow("text unquoted") << TEXT << ""
                                       << "'O''Brien'"
                                       << "'O''Brien'";
        QTest::newRow("text bare") << TEXT << ""
                                   << "abc"
                                   << "'abc'";
        QTest::newRow("text null") << TEXT << "x"
                                   << "NULL"
                                   << "NULL";
        QTest::newRow("text empty literal") << TEXT << ""
                                            << "''"
                                            << "''''''";
        QTest::newRow("numeric point") << NUM << ""
                                       << "1.5"
                                       << "1.5";
        QTest::newRow("numeric null") << NUM << "2"
                                      << "NULL"
                                      << "NULL";
        QTest::newRow("date stored") << DATE << ""
                                     << "20240131"
                                     << "'20240131'";
        QTest::newRow("date literal") << DATE << ""
                                      << "'20240131'"
                                      << "'20240131'";
        QTest::newRow("date null") << DATE << "2024-01-31"
                                   << "NULL"
                                   << "NULL";
        QTest::newRow("date invalid keeps set date") << DATE << "2023-05-06"
                                                     << "2024AB05"
                                                     << "'20230506'";
        QTest::newRow("date impossible keeps unset") << DATE << ""
                                                     << "20241340"
                                                     << "NULL";
    }
    void plainSetValue() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QString, before);
        QFETCH(QString, value);
        QFETCH(QString, sql);
        TOrvel_ParamInput p(Param("P", type));
        Enter(p, before);
        p.SetSQLValue(value);
        QCOMPARE(p.GetSQLValue(), sql);
    }

    void dateOfOtherLengthIsToday() {
        TOrvel_ParamInput p(Param("D", TOrvel_ParamType::ptDate));
        p.SetSQLValue("2024-1-31");
        QVERIFY(p.DateSet());
        QCOMPARE(p.GetSQLValue(), Today());
    }

    // What is stored (the SQL value with one level of quotes removed) comes back as it was.
    void storedValueRoundTrip_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QString>("input");
        QTest::newRow("int") << TOrvel_ParamType::ptInt << "-17";
        QTest::newRow("text with quote") << TOrvel_ParamType::ptText << "O'Brien";
        QTest::newRow("text empty") << TOrvel_ParamType::ptText << "";
        QTest::newRow("numeric") << TOrvel_ParamType::ptNumeric << "-1234,56";
        QTest::newRow("bit") << TOrvel_ParamType::ptBit << "1";
        QTest::newRow("date") << TOrvel_ParamType::ptDate << "2024-02-29";
        QTest::newRow("date unset") << TOrvel_ParamType::ptDate << "";
    }
    void storedValueRoundTrip() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QString, input);
        TOrvel_ParamInput a(Param("P", type));
        Enter(a, input);
        const QString stored = UnquoteSQLString(a.GetSQLValue());
        TOrvel_ParamInput b(Param("P", type));
        b.SetSQLValue(stored);
        QCOMPARE(b.GetSQLValue(), a.GetSQLValue());
    }

    void sqlListValue_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QVariant>("key");
        QTest::addColumn<QString>("sql");
        const auto INT = TOrvel_ParamType::ptInt, TEXT = TOrvel_ParamType::ptText,
                   BIT = TOrvel_ParamType::ptBit, NUM = TOrvel_ParamType::ptNumeric,
                   DATE = TOrvel_ParamType::ptDate;
        QTest::newRow("int key") << INT << QVariant(5) << "5";
        QTest::newRow("int key text trimmed") << INT << QVariant(" 12 ") << "12";
        QTest::newRow("no key") << INT << QVariant() << "NULL";
        QTest::newRow("blank key") << TEXT << QVariant("  ") << "NULL";
        QTest::newRow("null field value") << INT << QVariant(QMetaType(QMetaType::Int)) << "NULL";
        QTest::newRow("fraction with a point under a comma locale")
            << NUM << QVariant(1.5) << "1.5";
        QTest::newRow("exact decimal text") << NUM << QVariant("12.50") << "12.50";
        QTest::newRow("text key on int quoted")
            << INT << QVariant("1; DROP TABLE x") << "'1; DROP TABLE x'";
        QTest::newRow("text") << TEXT << QVariant("O'Brien") << "'O''Brien'";
        QTest::newRow("number on text") << TEXT << QVariant(7) << "'7'";
        QTest::newRow("date value") << DATE << QVariant(QDate(2024, 1, 31)) << "'20240131'";
        QTest::newRow("date-time value")
            << DATE << QVariant(QDateTime(QDate(2024, 1, 31), QTime(13, 0))) << "'20240131'";
        QTest::newRow("date text not a date") << DATE << QVariant("junk") << "NULL";
        QTest::newRow("bit one") << BIT << QVariant(1) << "1";
        QTest::newRow("bit zero") << BIT << QVariant(0) << "0";
        QTest::newRow("bit other number") << BIT << QVariant(7) << "1";
        QTest::newRow("bit boolean") << BIT << QVariant(true) << "1";
        QTest::newRow("bit word") << BIT << QVariant("False") << "0";
        QTest::newRow("bit text") << BIT << QVariant("abc") << "NULL";
    }
    void sqlListValue() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QVariant, key);
        QFETCH(QString, sql);
        TOrvel_ParamInput p(SqlList("L", type));
        p.SetKeyValue(key);
        QCOMPARE(p.GetSQLValue(), sql);
    }

    void sqlListSetValue_data() {
        QTest::addColumn<TOrvel_ParamType>("type");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("sql");
        QTest::newRow("int") << TOrvel_ParamType::ptInt << "42"
                             << "42";
        QTest::newRow("int null") << TOrvel_ParamType::ptInt << "NULL"
                                  << "NULL";
        QTest::newRow("text unquoted and requoted") << TOrvel_ParamType::ptText << "'a''b'"
                                                    << "'a''b'";
        QTest::newRow("date stored") << TOrvel_ParamType::ptDate << "20240305"
                                     << "'20240305'";
        QTest::newRow("date literal") << TOrvel_ParamType::ptDate << "'20240305'"
                                      << "'20240305'";
        QTest::newRow("date invalid kept, renders null") << TOrvel_ParamType::ptDate << "2024AB05"
                                                         << "NULL";
    }
    void sqlListSetValue() {
        QFETCH(TOrvel_ParamType, type);
        QFETCH(QString, value);
        QFETCH(QString, sql);
        TOrvel_ParamInput p(SqlList("L", type));
        p.SetKeyValue(99);
        p.SetSQLValue(value);
        QCOMPARE(p.GetSQLValue(), sql);
        QCOMPARE(p.HasKey(), sql != u"NULL" || value != u"NULL");
    }

    void sqlListDateKeyIsShownAsShortDate() {
        TOrvel_ParamInput p(SqlList("L", TOrvel_ParamType::ptDate));
        p.SetSQLValue("20240305");
        const TOrvel_FormatSettings &fs = UserFormatSettings();
        QVERIFY(p.KeyText().contains(fs.DateSeparator));
        QVERIFY(p.KeyText().contains(u"2024"));
        QCOMPARE(TextDateToSQL(p.KeyText()), QStringLiteral("'20240305'"));
    }

    void assignment() {
        TOrvel_ParamInput p(Param("Rok", TOrvel_ParamType::ptInt));
        p.SetText("2023");
        QCOMPARE(p.GetAssignment(false), QStringLiteral("SET @Rok = 2023"));
        QCOMPARE(p.GetAssignment(true), QStringLiteral("SET @Rok = 2023 -- INT"));
    }
};

class ParamBlockTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }
    void cleanupTestCase() { ResetUserLocale(); }

    void block_data() {
        QTest::addColumn<bool>("declarations");
        QTest::addColumn<QString>("expected");
        QTest::newRow("with declarations")
            << true
            << "DECLARE\r\n @Rok INT,\r\n @Opis NVARCHAR(50)\r\n\r\nSET @Rok = 2023\r\nSET @Opis = "
               "NULL\r\n";
        QTest::newRow("without declarations")
            << false << "SET @Rok = 2023 -- INT\r\nSET @Opis = NULL -- TEXT\r\n";
    }
    void block() {
        QFETCH(bool, declarations);
        QFETCH(QString, expected);
        TOrvel_ParamInput rok(Param("Rok", TOrvel_ParamType::ptInt));
        rok.SetText("2023");
        TOrvel_ParamData opisData = Param("Opis", TOrvel_ParamType::ptText);
        opisData.width = 50;
        const TOrvel_ParamInput opis(opisData);
        QCOMPARE(GetParamsBlock({&rok, &opis}, declarations), expected);
    }

    void threeDeclarations() {
        const TOrvel_ParamInput a(Param("A", TOrvel_ParamType::ptBit));
        const TOrvel_ParamInput b(Param("B", TOrvel_ParamType::ptDate));
        TOrvel_ParamData cData = Param("C", TOrvel_ParamType::ptNumeric);
        cData.width = 12;
        const TOrvel_ParamInput c(cData);
        QCOMPARE(GetParamsBlock({&a, &b, &c}, true),
                 QStringLiteral("DECLARE\r\n @A BIT,\r\n @B DATETIME,\r\n @C NUMERIC(12,2)\r\n\r\n"
                                "SET @A = 0\r\nSET @B = NULL\r\nSET @C = NULL\r\n"));
    }

    void emptyCollection() {
        QCOMPARE(GetParamsBlock({}, true), QString());
        QCOMPARE(GetParamsBlock({}, false), QString());
    }
};

class ListCascadeTest : public QObject {
    Q_OBJECT
private slots:
    void usesParam_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("uses");
        QTest::newRow("at the end") << "SELECT K FROM T WHERE A = @Kod"
                                    << "Kod" << true;
        QTest::newRow("inside ISNULL") << "WHERE NrMag = ISNULL(@NrMag, NrMag)"
                                       << "NrMag" << true;
        QTest::newRow("before a comma") << "f(@Kod,1)"
                                        << "Kod" << true;
        QTest::newRow("longer name") << "WHERE A = @Kod2"
                                     << "Kod" << false;
        QTest::newRow("prefix of another variable") << "WHERE A = @NrMag"
                                                    << "Nr" << false;
        QTest::newRow("longer name with underscore") << "@Kod_x"
                                                     << "Kod" << false;
        QTest::newRow("longer and exact") << "@Kod2 + @Kod"
                                          << "Kod" << true;
        QTest::newRow("letter case ignored") << "WHERE A = @kod"
                                             << "Kod" << true;
        QTest::newRow("system variable") << "SELECT @@Kod"
                                         << "Kod" << false;
        QTest::newRow("no at sign") << "WHERE Kod = 1"
                                    << "Kod" << false;
        QTest::newRow("empty name") << "WHERE A = @ "
                                    << "" << false;
        QTest::newRow("polish letters") << "WHERE A = @Łódź)"
                                        << "Łódź" << true;
    }
    void usesParam() {
        QFETCH(QString, query);
        QFETCH(QString, name);
        QFETCH(bool, uses);
        QCOMPARE(ListQueryUsesParam(query, name), uses);
    }

    // Each parameter as "Name" (no list) or "Name=query" (an SQL list with that query).
    void listsToClear_data() {
        QTest::addColumn<QStringList>("params");
        QTest::addColumn<int>("changed");
        QTest::addColumn<QList<int>>("cleared");
        QTest::newRow("direct") << QStringList{"A", "B=@A"} << 0 << QList<int>{1};
        QTest::newRow("chain") << QStringList{"A", "B=@A", "C=@B"} << 0 << QList<int>{1, 2};
        QTest::newRow("depth first")
            << QStringList{"A", "B=@A", "D=@A", "C=@B"} << 0 << QList<int>{1, 3, 2};
        QTest::newRow("diamond clears once")
            << QStringList{"A", "B=@A", "C=@A+@B"} << 0 << QList<int>{1, 2};
        QTest::newRow("cycle stops") << QStringList{"A=@B", "B=@A"} << 0 << QList<int>{1};
        QTest::newRow("cycle from the other end")
            << QStringList{"A=@B", "B=@A"} << 1 << QList<int>{0};
        QTest::newRow("long cycle") << QStringList{"A=@C", "B=@A", "C=@B"} << 0 << QList<int>{1, 2};
        QTest::newRow("self-mentioning list") << QStringList{"A=@A"} << 0 << QList<int>{};
        QTest::newRow("self-mentioning with dependant")
            << QStringList{"A=@A", "B=@A"} << 0 << QList<int>{1};
        QTest::newRow("dependant mentions itself")
            << QStringList{"A", "B=@A+@B"} << 0 << QList<int>{1};
        QTest::newRow("prefix does not clear")
            << QStringList{"Nr", "NrMag", "Dok=@NrMag"} << 0 << QList<int>{};
        QTest::newRow("nothing uses it") << QStringList{"A", "B=@C"} << 0 << QList<int>{};
        QTest::newRow("index out of range") << QStringList{"A", "B=@A"} << 5 << QList<int>{};
    }
    void listsToClear() {
        QFETCH(QStringList, params);
        QFETCH(int, changed);
        QFETCH(QList<int>, cleared);
        QList<TOrvel_ParamData> data;
        for (const QString &item : params) {
            TOrvel_ParamData d;
            d.name = item.section(u'=', 0, 0);
            d.listquery = item.section(u'=', 1);
            data << d;
        }
        QList<const TOrvel_ParamData *> refs;
        for (const TOrvel_ParamData &d : data)
            refs << &d;
        QCOMPARE(ListsToClear(refs, changed), cleared);
    }

    void fixedListIsNeverCleared() {
        TOrvel_ParamData a;
        a.name = "A";
        TOrvel_ParamData fixed;
        fixed.name = "F";
        fixed.listitems = "@A;x";
        QCOMPARE(ListsToClear({&a, &fixed}, 0), QList<int>{});
    }
};

int main(int argc, char **argv) {
    int status = 0;
    ParamTypeTest types;
    status |= QTest::qExec(&types, argc, argv);
    ParamValueTest values;
    status |= QTest::qExec(&values, argc, argv);
    ParamBlockTest block;
    status |= QTest::qExec(&block, argc, argv);
    ListCascadeTest cascade;
    status |= QTest::qExec(&cascade, argc, argv);
    return status;
}

#include "test_parameters.moc"
