// The database interface over the embedded engine: typed results, T-SQL batches, messages and
// errors, the database list and USE, sorting, and the shipped sample reports.
#include "U_Db.h"
#include "U_DbBackend.h"
#include "U_DbResult.h"
#include "U_SqliteCollation.h"
#include "U_TSql.h"
#include "U_TextCodec.h"
#include "U_locale.h"
#include "U_utils.h"

#include "RowCountWatch.h"
#include "TestSupport.h"

#include <QCollator>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <numeric>

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

void execSqlite(const QString &file, const char *sql) {
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
    char *error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const QString text = error ? QString::fromUtf8(error) : QString();
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, qPrintable(text));
}

// One row of every declared column type the engine maps, plus a row of NULLs.
const char *kTypesTable = R"(
CREATE TABLE Typy (
  cInt INT, cBig BIGINT, cSmall SMALLINT, cTiny TINYINT, cBit BIT, cDec NUMERIC(12,2),
  cMoney MONEY, cFloat FLOAT, cReal REAL, cNvarchar NVARCHAR(40), cVarchar VARCHAR(10),
  cChar CHAR(3), cText TEXT, cDate DATE, cDateTime DATETIME, cTime TIME, cGuid UNIQUEIDENTIFIER,
  cInteger INTEGER, cBlob BLOB);
INSERT INTO Typy VALUES (42, 9000000000, -5, 200, 1, 1234.5, 12.3456, 2.5, 0.25, 'Zażółć gęślą',
  'abc', 'xy ', 'długi tekst', '2024-01-31', '2024-01-31 13:45:10', '08:30:00',
  '6F9619FF-8B86-D011-B42D-00C04FC964FF', 3000000000, x'0102');
INSERT INTO Typy VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE Osoby (Id INT, Nazwisko NVARCHAR(30), Kwota NUMERIC(10,2), Data DATE);
INSERT INTO Osoby VALUES (1, 'Łoś', '10.50', '2024-03-01'), (2, 'Lis', '-1.00', NULL),
  (3, NULL, '9.75', '2023-12-31'), (4, 'Żak', NULL, '2024-01-15'), (5, 'lis', '100.00', '2024-03-01'),
  (6, 'Zenon', '9.75', '2022-05-05'), (7, 'Ćma', '0.00', NULL), (8, 'Cebula', '10.5', '2024-02-29'),
  (9, 'Luba', '-20.00', '2021-01-01');
CREATE TABLE Mieszana (v INTEGER);
INSERT INTO Mieszana VALUES (1), ('nie liczba'), (2);
)";

// A batch run against the databases of a folder, its query left open.
struct FolderQuery {
    DbConnection conn;
    DbQuery query{&conn};
    FolderQuery(const QString &folder, const QString &sql) {
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + folder;
        conn.Open(settings);
        query.SQL = sql;
        query.Open();
    }
};

struct Fixture {
    QTemporaryDir dir;
    DbConnection conn;
    Fixture() {
        execSqlite(dir.filePath(QStringLiteral("Testy.sqlite")), kTypesTable);
        execSqlite(dir.filePath(QStringLiteral("Sprzedaż.sqlite")), "CREATE TABLE s (a INT);");
        execSqlite(dir.filePath(QStringLiteral("master.sqlite")), "CREATE TABLE m (a INT);");
        WriteBytes(dir.filePath(QStringLiteral("notatki.txt")), "nie baza");
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + dir.path();
        conn.Open(settings);
    }
    // Runs a batch (in the Testy database) and returns the open query.
    std::unique_ptr<DbQuery> open(const QString &sql) {
        auto q = std::make_unique<DbQuery>(&conn);
        q->SQL = QStringLiteral("USE Testy\n") + sql;
        q->Open();
        return q;
    }
};

QStringList messageTexts(const DbConnection &conn) {
    QStringList texts;
    for (const TOrvel_ProviderMessage &m : conn.ProviderMessages())
        texts << m.Description;
    return texts;
}

} // namespace

class DatabaseTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }

    void declaredColumnKinds_data();
    void declaredColumnKinds();
    void expressionKinds_data();
    void expressionKinds();
    void nullsAndMixedColumns();
    void castKeepsDecimalScale_data();
    void castKeepsDecimalScale();
    void decimalsFromFloatingPoint();
    void textsReadAsTheEngineDecodesThem();
    void polishTextOrder_data();
    void polishTextOrder();
    void batches_data();
    void batches();
    void plusFollowsTheOperandTypes_data();
    void plusFollowsTheOperandTypes();
    void errors_data();
    void errors();
    void raiserrorFormat_data();
    void raiserrorFormat();
    void batchStopsAtError();
    void printAndInformationMessages();
    void batchWithoutResultSet();
    void cancel_data();
    void cancel();
    void cancelWithNothingRunning();
    void rowsAreCountedAsTheyArrive();
    void databaseListAndUse();
    void openingAMissingFolderFails();
    void folderWithoutWriteAccessIsReadOnly();
    void sorting_data();
    void sorting();
    void sortingErrorsAndRestore();
    void largeSortsAreStable();
    void sortKeysOrderLikeTheCollator();
    void navigationAndSignals();
    void fieldsByNameAndDisplay();
    void sampleReportsRun();
};

void DatabaseTest::declaredColumnKinds_data() {
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("asString");
    auto row = [](const char *c, TFieldType t, const QVariant &v, const QString &s) {
        QTest::newRow(c) << QString::fromLatin1(c) << int(t) << v << s;
    };
    row("cInt", TFieldType::ftInteger, QVariant(qint64(42)), QStringLiteral("42"));
    row("cBig", TFieldType::ftLargeint, QVariant(qint64(9000000000)), QStringLiteral("9000000000"));
    row("cSmall", TFieldType::ftSmallint, QVariant(qint64(-5)), QStringLiteral("-5"));
    row("cTiny", TFieldType::ftWord, QVariant(qint64(200)), QStringLiteral("200"));
    row("cBit", TFieldType::ftBoolean, QVariant(true), QStringLiteral("tak"));
    row("cDec", TFieldType::ftBCD, QVariant(QStringLiteral("1234.50")), QStringLiteral("1234,50"));
    row("cMoney", TFieldType::ftCurrency, QVariant(12.3456), QStringLiteral("12,3456"));
    row("cFloat", TFieldType::ftFloat, QVariant(2.5), QStringLiteral("2,5"));
    row("cReal", TFieldType::ftFloat, QVariant(0.25), QStringLiteral("0,25"));
    row("cNvarchar", TFieldType::ftWideString, QVariant(QStringLiteral("Zażółć gęślą")),
        QStringLiteral("Zażółć gęślą"));
    row("cVarchar", TFieldType::ftString, QVariant(QStringLiteral("abc")), QStringLiteral("abc"));
    row("cChar", TFieldType::ftFixedChar, QVariant(QStringLiteral("xy ")), QStringLiteral("xy "));
    row("cText", TFieldType::ftWideString, QVariant(QStringLiteral("długi tekst")),
        QStringLiteral("długi tekst"));
    row("cDate", TFieldType::ftDate, QVariant(QDate(2024, 1, 31)), QStringLiteral("31.01.2024"));
    row("cDateTime", TFieldType::ftDateTime,
        QVariant(QDateTime(QDate(2024, 1, 31), QTime(13, 45, 10), Qt::UTC)),
        QStringLiteral("31.01.2024 13:45:10"));
    row("cTime", TFieldType::ftTime, QVariant(QTime(8, 30)), QStringLiteral("08:30:00"));
    row("cGuid", TFieldType::ftGuid,
        QVariant(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")),
        QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    // INTEGER holds 64 bits in SQLite: a value beyond 32 bits makes the field 64-bit.
    row("cInteger", TFieldType::ftLargeint, QVariant(qint64(3000000000)),
        QStringLiteral("3000000000"));
    row("cBlob", TFieldType::ftBlob, QVariant(QStringLiteral("0x0102")), QStringLiteral("0x0102"));
}

void DatabaseTest::declaredColumnKinds() {
    QFETCH(QString, column);
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QString, asString);
    Fixture f;
    auto q = f.open(QStringLiteral("SELECT %1 FROM Typy").arg(column));
    QCOMPARE(q->RecordCount(), 2);
    DbField *field = q->Field(0);
    QCOMPARE(field->FieldName(), column);
    QCOMPARE(int(field->DataType()), type);
    QCOMPARE(field->Value(), value);
    QCOMPARE(field->AsString(), asString);
    QVERIFY(!field->IsNull());
    q->Next();
    QVERIFY(field->IsNull());
    QVERIFY(!field->Value().isValid());
    QCOMPARE(field->AsString(), QString());
    QCOMPARE(field->DisplayText(), QString());
}

void DatabaseTest::expressionKinds_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("integer") << "1 + 1" << int(TFieldType::ftInteger) << QVariant(qint64(2));
    QTest::newRow("64-bit") << "3000000000 * 2" << int(TFieldType::ftLargeint)
                            << QVariant(qint64(6000000000));
    QTest::newRow("float") << "7 / 2.0" << int(TFieldType::ftFloat) << QVariant(3.5);
    QTest::newRow("text") << "'a' + 'b'" << int(TFieldType::ftWideString)
                          << QVariant(QStringLiteral("ab"));
    QTest::newRow("cast to date") << "CAST('20240131' AS DATE)" << int(TFieldType::ftDate)
                                  << QVariant(QDate(2024, 1, 31));
    QTest::newRow("convert to datetime")
        << "CONVERT(DATETIME, '20240131 13:05')" << int(TFieldType::ftDateTime)
        << QVariant(QDateTime(QDate(2024, 1, 31), QTime(13, 5), Qt::UTC));
    QTest::newRow("dateadd") << "DATEADD(month, 1, '20240131')" << int(TFieldType::ftDate)
                             << QVariant(QDate(2024, 2, 29));
    QTest::newRow("convert style 104")
        << "CONVERT(VARCHAR(10), CAST('20240131' AS DATETIME), 104)" << int(TFieldType::ftString)
        << QVariant(QStringLiteral("31.01.2024"));
    QTest::newRow("numeric rounds") << "CAST(2.345 AS NUMERIC(10,2))" << int(TFieldType::ftBCD)
                                    << QVariant(QStringLiteral("2.35"));
    QTest::newRow("cast to int truncates")
        << "CAST(7.9 AS INT)" << int(TFieldType::ftInteger) << QVariant(qint64(7));
    QTest::newRow("isnull") << "ISNULL(NULL, 3)" << int(TFieldType::ftInteger)
                            << QVariant(qint64(3));
    QTest::newRow("len ignores trailing blanks")
        << "LEN('ab  ')" << int(TFieldType::ftInteger) << QVariant(qint64(2));
    QTest::newRow("datediff") << "DATEDIFF(day, '20240101', '20240131')"
                              << int(TFieldType::ftInteger) << QVariant(qint64(30));
    QTest::newRow("year") << "YEAR('20240131')" << int(TFieldType::ftInteger)
                          << QVariant(qint64(2024));
    QTest::newRow("left") << "LEFT('Łódź', 2)" << int(TFieldType::ftWideString)
                          << QVariant(QStringLiteral("Łó"));
    QTest::newRow("upper Polish") << "UPPER('żółw')" << int(TFieldType::ftWideString)
                                  << QVariant(QStringLiteral("ŻÓŁW"));
    QTest::newRow("db_name") << "DB_NAME()" << int(TFieldType::ftWideString)
                             << QVariant(QStringLiteral("Testy"));
    QTest::newRow("N prefix") << "N'zł'" << int(TFieldType::ftWideString)
                              << QVariant(QStringLiteral("zł"));
}

void DatabaseTest::expressionKinds() {
    QFETCH(QString, expression);
    QFETCH(int, type);
    QFETCH(QVariant, value);
    Fixture f;
    auto q = f.open(QStringLiteral("SELECT %1 AS x").arg(expression));
    QCOMPARE(int(q->Field(0)->DataType()), type);
    QCOMPARE(q->Field(0)->Value(), value);
}

void DatabaseTest::castKeepsDecimalScale_data() {
    // A column that is a CAST or CONVERT to DECIMAL/NUMERIC(p,s) is a fixed-point decimal with
    // scale s, as on the server, also through a derived table, a UNION, TOP and ORDER BY.
    QTest::addColumn<QString>("select");
    QTest::addColumn<QStringList>("shown"); // the first column's values as text
    QTest::newRow("sum of an amount")
        << "SELECT CAST(SUM(Kwota) AS NUMERIC(14,2)) AS s FROM Osoby" << QStringList{"119,50"};
    QTest::newRow("whole number gets its decimals")
        << "SELECT CAST(104832 AS DECIMAL(14, 2)) AS s" << QStringList{"104832,00"};
    QTest::newRow("rounded to the scale")
        << "SELECT CAST(2.345 AS NUMERIC(10,2)) AS s" << QStringList{"2,35"};
    QTest::newRow("convert, scale 3")
        << "SELECT CONVERT(NUMERIC(8,3), 1.5) s" << QStringList{"1,500"};
    QTest::newRow("scale 0") << "SELECT CAST(7.6 AS NUMERIC(5)) AS s" << QStringList{"8"};
    QTest::newRow("through a derived table")
        << "SELECT d.v AS [Wartość] FROM (SELECT CAST(7 AS NUMERIC(6,2)) AS v) AS d"
        << QStringList{"7,00"};
    QTest::newRow("derived table, unqualified")
        << "SELECT v FROM (SELECT Id, CAST(Id AS NUMERIC(6,2)) AS v FROM Osoby WHERE Id < 3) x "
           "ORDER BY v DESC"
        << QStringList{"2,00", "1,00"};
    QTest::newRow("union takes the first select's type")
        << "SELECT CAST(1 AS NUMERIC(6,2)) AS v UNION ALL SELECT 2.5"
        << QStringList{"1,00", "2,50"};
    QTest::newRow("top and order by")
        << "SELECT TOP 2 CAST(Kwota * 3 AS NUMERIC(12,2)) AS k, Id FROM Osoby ORDER BY Id"
        << QStringList{"31,50", "-3,00"};
    QTest::newRow("a cast inside an expression is not the column's type")
        << "SELECT CAST(1 AS NUMERIC(6,2)) + 0.125 AS v" << QStringList{"1,125"};
}

void DatabaseTest::castKeepsDecimalScale() {
    QFETCH(QString, select);
    QFETCH(QStringList, shown);
    Fixture f;
    auto q = f.open(select);
    QStringList got;
    for (q->First(); !q->Eof(); q->Next())
        got << q->Field(0)->AsString();
    QCOMPARE(got, shown);
    const bool cast = !select.contains(QStringLiteral("+ 0.125"));
    QCOMPARE(q->Field(0)->DataType() == TFieldType::ftBCD, cast);
}

// A DECIMAL column whose values the engine holds as floating point keeps, for each value, the
// digits QString::number(v, 'f', scale) gives: an exact half rounded away from zero, also where
// the rounding carries into a new digit, and negative zero as "0".
void DatabaseTest::decimalsFromFloatingPoint() {
    QList<double> values;
    values << 0.5 << 1.5 << 2.5 << -2.5 << 0.125 << -0.125 << 1234.5; // exact halves
    values << 9.5 << -99.5 << 99.875 << 999.9375;                     // halves that carry
    values << 47438652450538.2109375;                     // a half beyond the value's own precision
    values << -0.0 << -0.004 << 0.004 << -1e-7 << 5e-324; // near zero
    values << 2.675 << 1.005 << 9.995 << 0.1 + 0.2 << 1e20 << 1e300; // inexact, large
    values << 42 << -7;                                              // whole numbers
    QTemporaryDir dir;
    QString sql = QStringLiteral("CREATE TABLE d (s0 DECIMAL(38,0), s1 DECIMAL(38,1), "
                                 "s2 DECIMAL(38,2), s3 DECIMAL(38,3), s7 DECIMAL(38,7));");
    for (const double v : values) {
        const QString literal = QString::number(v, 'g', 17);
        sql += QStringLiteral("INSERT INTO d VALUES (%1, %1, %1, %1, %1);").arg(literal);
    }
    execSqlite(dir.filePath(QStringLiteral("Liczby.sqlite")), sql.toUtf8().constData());
    FolderQuery q(dir.path(), QStringLiteral("USE Liczby\nSELECT * FROM d"));
    const DbResult *result = q.query.Result();
    QVERIFY(result);
    QCOMPARE(result->RowCount(), values.size());
    const int scales[] = {0, 1, 2, 3, 7};
    for (int c = 0; c < 5; ++c) {
        for (int row = 0; row < values.size(); ++row) {
            const double v = values[row];
            const QString expected = QString::number(v, 'f', scales[c]);
            QVERIFY2(result->Column(c).Text(std::size_t(row)) == expected,
                     qPrintable(QStringLiteral("%1 to %2 places: %3, expected %4")
                                    .arg(QString::number(v, 'g', 17))
                                    .arg(scales[c])
                                    .arg(result->Column(c).Text(std::size_t(row)))
                                    .arg(expected)));
        }
    }
}

// Texts are decoded from the engine's UTF-8 by the result's own reader; each must come out as the
// engine itself decodes it to UTF-16, for well-formed texts and for malformed bytes alike.
void DatabaseTest::textsReadAsTheEngineDecodesThem() {
    const QList<QByteArray> texts = {
        "",                                   // empty
        "abc",                                // ASCII
        "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87", // two-byte letters
        "\xE2\x82\xAC \xE2\x98\xBA",          // three bytes
        "\xF0\x9F\x98\x80x",                  // four bytes: a surrogate pair
        "\xC0\x80",                           // overlong
        "\xED\xA0\x80",                       // a surrogate's code
        "\xF4\x90\x80\x80",                   // above U+10FFFF
        "a\x80"
        "b",                   // a stray continuation byte
        "\xE2\x82",            // cut short
        "\xF5\x80\x80\x80",    // no such lead byte
        QByteArray("a\0b", 3), // U+0000 inside
    };
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Teksty.sqlite"));
    QByteArray sql = "CREATE TABLE t (n INT, v NVARCHAR(20));";
    for (int i = 0; i < texts.size(); ++i)
        sql += "INSERT INTO t VALUES (" + QByteArray::number(i) + ", CAST(x'" + texts[i].toHex() +
               "' AS TEXT));";
    execSqlite(file, sql.constData());

    // What the engine's own UTF-16 reading gives.
    QStringList expected;
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt *stmt = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "SELECT v FROM t ORDER BY n", -1, &stmt, nullptr), SQLITE_OK);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto *s = static_cast<const char16_t *>(sqlite3_column_text16(stmt, 0));
        expected << QStringView(s, sqlite3_column_bytes16(stmt, 0) / 2).toString();
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    QCOMPARE(expected.size(), texts.size());

    FolderQuery q(dir.path(), QStringLiteral("USE Teksty\nSELECT v FROM t ORDER BY n"));
    const DbResult *result = q.query.Result();
    QVERIFY(result);
    QCOMPARE(result->RowCount(), texts.size());
    for (int row = 0; row < texts.size(); ++row)
        QVERIFY2(
            result->Column(0).Text(std::size_t(row)) == expected[row],
            qPrintable(QStringLiteral("bytes %1").arg(QString::fromLatin1(texts[row].toHex()))));
}

void DatabaseTest::polishTextOrder_data() {
    // The embedded engine's text columns of the demo databases compare as SQL Server's Polish
    // case-insensitive, accent-sensitive collation: "Ł" between "L" and "M", "Ź" and "Ż" after
    // "Z", letter case ignored, accents not, trailing blanks ignored.
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("ids");
    QTest::newRow("order by") << "SELECT Id FROM Nazwy ORDER BY Nazwa, Id"
                              << "14 13 12 11 3 7 2 15 5 6 4 1 8 9 10";
    QTest::newRow("order by descending") << "SELECT TOP 4 Id FROM Nazwy ORDER BY Nazwa DESC, Id"
                                         << "10 9 8 1";
    // An ORDER BY over an expression or a derived table's column sorts texts the same way.
    QTest::newRow("order by an expression")
        << "SELECT Id FROM Nazwy WHERE Id < 6 ORDER BY N'' + Nazwa, Id"
        << "3 2 5 4 1";
    QTest::newRow("order by a union's column, descending")
        << "SELECT n FROM (SELECT Nazwa + '' AS n FROM Nazwy WHERE Id IN (1, 2) "
           "UNION ALL SELECT 'Lampa') AS d ORDER BY n DESC"
        << "Ogród Łazienka Lampa";
    QTest::newRow("order by with TOP, numbers stay numbers")
        << "SELECT TOP 3 Id FROM Nazwy ORDER BY Id * 2 DESC"
        << "15 14 13";
    QTest::newRow("equal ignores letter case") << "SELECT Id FROM Nazwy WHERE Nazwa = 'ŁÓDŹ' "
                                                  "ORDER BY Id"
                                               << "5 6";
    QTest::newRow("equal keeps accents") << "SELECT Id FROM Nazwy WHERE Nazwa = 'lodz'"
                                         << "7";
    QTest::newRow("equal ignores trailing blanks")
        << "SELECT Id FROM Nazwy WHERE Nazwa = 'łazienka' ORDER BY Id"
        << "2 15";
    QTest::newRow("less than") << "SELECT Id FROM Nazwy WHERE Nazwa < 'M' ORDER BY Id"
                               << "2 3 5 6 7 11 12 13 14 15";
    QTest::newRow("between") << "SELECT Id FROM Nazwy WHERE Nazwa BETWEEN 'l' AND 'łz' ORDER BY Id"
                             << "2 3 5 6 7 15";
    QTest::newRow("variable") << "DECLARE @n NVARCHAR(30)\nSET @n = N'łódź'\n"
                                 "SELECT Id FROM Nazwy WHERE Nazwa = @n ORDER BY Id"
                              << "5 6";
    QTest::newRow("like, letter case ignored")
        << "SELECT Id FROM Nazwy WHERE Nazwa LIKE 'ł%' ORDER BY Id"
        << "2 5 6 15";
    QTest::newRow("like with one character")
        << "SELECT Id FROM Nazwy WHERE Nazwa LIKE '%Ó_Ź' ORDER BY Id"
        << "5 6";
    QTest::newRow("like with a set") << "SELECT Id FROM Nazwy WHERE Nazwa LIKE '[ŁL]a%' ORDER BY Id"
                                     << "2 3 15";
    QTest::newRow("like with a range in Polish order")
        << "SELECT Id FROM Nazwy WHERE Nazwa LIKE '[a-c]%' ORDER BY Id"
        << "12 13 14";
    QTest::newRow("like with a negated set")
        << "SELECT Id FROM Nazwy WHERE Nazwa LIKE '[^a-ł]%' ORDER BY Id"
        << "1 4 8 9 10";
    QTest::newRow("like with an escape")
        << "SELECT Id FROM Nazwy WHERE Nazwa LIKE '%!%%' ESCAPE '!'"
        << "";
    QTest::newRow("group by") << "SELECT COUNT(*) FROM Nazwy GROUP BY Nazwa HAVING COUNT(*) > 1"
                              << "2 2";
    QTest::newRow("distinct") << "SELECT COUNT(*) FROM (SELECT DISTINCT Nazwa FROM Nazwy) d"
                              << "13";
}

void DatabaseTest::polishTextOrder() {
    QFETCH(QString, select);
    QFETCH(QString, ids);
    Fixture f;
    const QString file = f.dir.filePath(QStringLiteral("Polski.sqlite"));
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
    QVERIFY(sqlitecoll::Register(db));
    const int rc = sqlite3_exec(
        db,
        "CREATE TABLE Nazwy (Id INT, Nazwa NVARCHAR(30) COLLATE POLISH_CI_AS);"
        "INSERT INTO Nazwy VALUES (1,'Ogród'),(2,'Łazienka'),(3,'Lampa'),(4,'mydło'),"
        "(5,'Łódź'),(6,'łódź'),(7,'Lodz'),(8,'Zebra'),(9,'Źródło'),(10,'Żaba'),(11,'Ćma'),"
        "(12,'Cebula'),(13,'Ąb'),(14,'Ab'),(15,'Łazienka  ');",
        nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(rc, SQLITE_OK);
    DbQuery q(&f.conn);
    q.SQL = QStringLiteral("USE Polski\n") + select;
    q.Open();
    QStringList got;
    for (q.First(); !q.Eof(); q.Next())
        got << q.Field(0)->AsString();
    QCOMPARE(got.join(u' '), ids);
}

void DatabaseTest::nullsAndMixedColumns() {
    Fixture f;
    // A text in an INTEGER column keeps every value: the column becomes text.
    auto q = f.open(QStringLiteral("SELECT v FROM Mieszana"));
    QCOMPARE(int(q->Field(0)->DataType()), int(TFieldType::ftWideString));
    QStringList values;
    for (q->First(); !q->Eof(); q->Next())
        values << q->Field(0)->AsString();
    QCOMPARE(values, QStringList({"1", "nie liczba", "2"}));
    // An expression column that is NULL throughout is still a column.
    auto n = f.open(QStringLiteral("SELECT NULL AS pusta"));
    QCOMPARE(n->RecordCount(), 1);
    QVERIFY(n->Field(0)->IsNull());
}

void DatabaseTest::batches_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected"); // AsString of column x in the first row
    QTest::newRow("without semicolons") << "DECLARE @a INT SET @a = 5 SELECT @a AS x"
                                        << "5";
    QTest::newRow("with semicolons") << "DECLARE @a INT; SET @a = 5; SELECT @a AS x;"
                                     << "5";
    QTest::newRow("one per line") << "DECLARE @a INT\r\nSET @a = 6\r\n\r\nSELECT @a AS x\r\n"
                                  << "6";
    QTest::newRow("declare with value") << "DECLARE @i INT = 4, @j INT = 3 SELECT @i * @j AS x"
                                        << "12";
    QTest::newRow("variable names ignore case")
        << "DECLARE @Rok INT SET @ROK = 2024 SELECT @rok AS x"
        << "2024";
    QTest::newRow("insert select and union")
        << "CREATE TABLE #t (a INT) INSERT INTO #t SELECT 1 UNION SELECT 2 UNION ALL SELECT 2 "
           "SELECT COUNT(*) AS x FROM #t"
        << "3";
    QTest::newRow("CTE feeding an insert")
        << "CREATE TABLE #c (a INT) WITH n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
           "4) "
           "INSERT INTO #c SELECT i FROM n SELECT SUM(a) AS x FROM #c"
        << "10";
    QTest::newRow("update set")
        << "CREATE TABLE #u (a INT) INSERT INTO #u VALUES (1) UPDATE #u SET a = 9 "
           "SELECT a AS x FROM #u"
        << "9";
    QTest::newRow("keyword in a string") << "SELECT 'SELECT; DECLARE' AS x"
                                         << "SELECT; DECLARE";
    QTest::newRow("keywords in comments") << "/* SELECT 1 */ SELECT 2 AS x -- SELECT 3"
                                          << "2";
    QTest::newRow("nested comment") << "/* a /* SELECT 1 */ b */ SELECT 4 AS x"
                                    << "4";
    QTest::newRow("subquery") << "SELECT (SELECT MAX(Id) FROM Osoby WHERE Id < 5) AS x"
                              << "4";
    QTest::newRow("common table expression") << "WITH c AS (SELECT 4 AS v) SELECT v + 1 AS x FROM c"
                                             << "5";
    QTest::newRow("top")
        << "SELECT TOP 1 Nazwisko AS x FROM Osoby WHERE Nazwisko IS NOT NULL ORDER BY Id DESC"
        << "Luba";
    QTest::newRow("top in a subquery")
        << "SELECT (SELECT TOP (1) Id FROM Osoby ORDER BY Id DESC) + 100 AS x"
        << "109";
    QTest::newRow("select assigns the last row")
        << "DECLARE @n NVARCHAR(30) SELECT @n = Nazwisko FROM Osoby WHERE Id IN (1, 2) ORDER BY Id "
           "SELECT @n AS x"
        << "Lis";
    QTest::newRow("date literal into DATETIME")
        << "DECLARE @d DATETIME SET @d = '20240131' "
           "SELECT COUNT(*) AS x FROM Osoby WHERE Data >= @d"
        << "3";
    QTest::newRow("numeric variable rounds")
        << "DECLARE @n NUMERIC(10,2) SET @n = 2.345 SELECT @n AS x"
        << "2,35";
    QTest::newRow("text variable truncates")
        << "DECLARE @s NVARCHAR(3) SET @s = 'abcdef' SELECT @s AS x"
        << "abc";
    QTest::newRow("bit variable") << "DECLARE @b BIT SET @b = 5 SELECT @b AS x"
                                  << "1";
    QTest::newRow("compound assignment")
        << "DECLARE @s NVARCHAR(10) = 'a' SET @s += 'b' SELECT @s AS x"
        << "ab";
    QTest::newRow("like with joined pattern")
        << "DECLARE @f NVARCHAR(10) SET @f = 'is' SELECT COUNT(*) AS x FROM Osoby WHERE Nazwisko "
           "LIKE '%' + @f + '%'"
        << "2";
    QTest::newRow("row count")
        << "UPDATE Osoby SET Kwota = Kwota WHERE Id < 4 SELECT @@ROWCOUNT AS x"
        << "3";
    QTest::newRow("set options are accepted") << "SET NOCOUNT ON SELECT 1 AS x"
                                              << "1";
    QTest::newRow("table hint") << "SELECT COUNT(*) AS x FROM dbo.Osoby WITH (NOLOCK)"
                                << "9";
    QTest::newRow("select into a temporary table")
        << "SELECT Id INTO #k FROM Osoby WHERE Id > 7 SELECT SUM(Id) AS x FROM #k"
        << "17";
}

void DatabaseTest::batches() {
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    Fixture f;
    auto q = f.open(sql);
    QVERIFY(q->IsOpen());
    QCOMPARE(q->FieldByName(QStringLiteral("x"))->AsString(), expected);
}

// "+" as SQL Server computes it (checked against T-SQL's rules for the operands' types): texts
// join, numbers add, a text beside a number is converted to the number's type; whatever the
// operands are: columns, variables, functions, parenthesised expressions, CASE, subqueries.
void DatabaseTest::plusFollowsTheOperandTypes_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected"); // AsString of column x in the first row; "NULL"
    const QString typy = QStringLiteral(" FROM Typy WHERE cInt = 42");
    QTest::newRow("text column + text column")
        << "SELECT cVarchar + cNvarchar AS x" + typy << "abcZażółć gęślą";
    QTest::newRow("text literal + functions") << "SELECT N'a' + CHAR(13) + CHAR(10) AS x"
                                              << "a\r\n";
    QTest::newRow("function + function") << "SELECT UPPER('a') + LOWER('B') AS x"
                                         << "Ab";
    QTest::newRow("text variables")
        << "DECLARE @a NVARCHAR(5) = 'x', @b NVARCHAR(5) = 'y' SELECT @a + @b AS x"
        << "xy";
    QTest::newRow("parenthesised texts")
        << "SELECT ('a' + 'b') + (cVarchar) AS x" + typy << "ababc";
    QTest::newRow("CASE + text") << "SELECT CASE WHEN 1 = 1 THEN 'a' + 'b' ELSE 'c' END + 'd' AS x"
                                 << "abd";
    QTest::newRow("subquery + text")
        << "SELECT (SELECT TOP 1 Nazwisko FROM Osoby ORDER BY Id) + '!' AS x"
        << "Łoś!";
    QTest::newRow("alias without AS") << "SELECT 'a' + 'b' x"
                                      << "ab";
    QTest::newRow("text + number cast to text")
        << "SELECT 'x' + CAST(1 + 2 AS NVARCHAR(5)) + 'y' AS x"
        << "x3y";
    QTest::newRow("in WHERE") << "SELECT COUNT(*) AS x FROM Osoby WHERE Nazwisko + '!' = 'Łoś!'"
                              << "1";
    QTest::newRow("text + NULL") << "SELECT 'a' + NULL AS x"
                                 << "NULL";
    QTest::newRow("NULL column + text")
        << "SELECT cNvarchar + 'a' AS x FROM Typy WHERE cInt IS NULL"
        << "NULL";
    QTest::newRow("number column + number") << "SELECT cInt + 1 AS x" + typy << "43";
    QTest::newRow("precedence of * over +") << "SELECT 1 + 2 * 3 AS x"
                                            << "7";
    QTest::newRow("- and + from the left") << "SELECT 10 - 2 + 3 AS x"
                                           << "11";
    QTest::newRow("signs") << "SELECT -1 + -2 AS x"
                           << "-3";
    QTest::newRow("text converted to int") << "SELECT '5' + 1 AS x"
                                           << "6";
    QTest::newRow("blanks around the number") << "SELECT 1 + ' 7 ' AS x"
                                              << "8";
    QTest::newRow("empty text is zero") << "SELECT '' + 1 AS x"
                                        << "1";
    QTest::newRow("int column + text") << "SELECT cInt + '8' AS x" + typy << "50";
    QTest::newRow("text + decimal") << "SELECT '1.5' + 1.0 AS x"
                                    << "2,5";
    QTest::newRow("numbers first, then the text") << "SELECT (1 + 2) + CAST(4 AS NVARCHAR(3)) AS x"
                                                  << "7";
    QTest::newRow("compound assignment to a text")
        << "DECLARE @s NVARCHAR(10) = '5' SET @s += 1 SELECT @s AS x"
        << "6";
    QTest::newRow("compound assignment to a number")
        << "DECLARE @n INT = 5 SET @n += '2' SELECT @n AS x"
        << "7";
    QTest::newRow("datetime + days") << "DECLARE @d DATETIME = '20240131' SELECT DAY(@d + 1) AS x"
                                     << "1";
    QTest::newRow("in SET from columns")
        << "DECLARE @s NVARCHAR(40) SET @s = (SELECT cVarchar + '-' + cVarchar FROM Typy WHERE "
           "cInt = 42) SELECT @s AS x"
        << "abc-abc";
}

void DatabaseTest::plusFollowsTheOperandTypes() {
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    Fixture f;
    auto q = f.open(sql);
    QVERIFY(q->IsOpen());
    DbField *x = q->FieldByName(QStringLiteral("x"));
    QCOMPARE(x->IsNull() ? QStringLiteral("NULL") : x->AsString(), expected);
}

void DatabaseTest::errors_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("native");
    QTest::addColumn<int>("severity");
    QTest::addColumn<QString>("text");
    // The engine's own failures, in the server's numbers, classes and words.
    QTest::newRow("unknown table")
        << "SELECT * FROM Brak" << 208 << 16 << "Nieprawidłowa nazwa obiektu 'Brak'.";
    QTest::newRow("unknown temporary table")
        << "SELECT * FROM #brak" << 208 << 16 << "Nieprawidłowa nazwa obiektu '#brak'.";
    QTest::newRow("unknown table of an index")
        << "CREATE INDEX i ON Brak (a)" << 208 << 16 << "Nieprawidłowa nazwa obiektu 'Brak'.";
    QTest::newRow("unknown column")
        << "SELECT Brak FROM Osoby" << 207 << 16 << "Nieprawidłowa nazwa kolumny 'Brak'.";
    QTest::newRow("unknown column of an alias")
        << "SELECT o.Brak FROM Osoby o" << 207 << 16 << "Nieprawidłowa nazwa kolumny 'Brak'.";
    QTest::newRow("unknown column in SET")
        << "DECLARE @a INT SET @a = (SELECT MAX(Brak) FROM Osoby)" << 207 << 16
        << "Nieprawidłowa nazwa kolumny 'Brak'.";
    QTest::newRow("unknown column in SELECT @a =")
        << "DECLARE @a INT SELECT @a = Brak FROM Osoby" << 207 << 16
        << "Nieprawidłowa nazwa kolumny 'Brak'.";
    QTest::newRow("ambiguous column")
        << "SELECT Id FROM Osoby a, Osoby b" << 209 << 16 << "Niejednoznaczna nazwa kolumny 'Id'.";
    QTest::newRow("syntax error") << "SELECT Id Id Id FROM Osoby" << 102 << 15
                                  << "Niepoprawna składnia w pobliżu 'Id'.";
    QTest::newRow("text ends too early")
        << "SELECT * FROM Osoby WHERE" << 102 << 15 << "Niepoprawna składnia w pobliżu 'WHERE'.";
    QTest::newRow("expression ends too early in SET")
        << "DECLARE @a INT SET @a = 1 +" << 102 << 15 << "Niepoprawna składnia w pobliżu '+'.";
    // "+" with a text that is no number beside a number: the server's conversion error.
    QTest::newRow("plus: text literal + number")
        << "SELECT 'abc' + 1 AS x" << 245 << 16
        << "Konwersja wartości 'abc' na typ danych int nie powiodła się.";
    QTest::newRow("plus: text column + int column")
        << "SELECT Nazwisko + Id AS x FROM Osoby WHERE Id = 1" << 245 << 16
        << "Konwersja wartości 'Łoś' na typ danych int nie powiodła się.";
    QTest::newRow("plus: a fraction is no int")
        << "SELECT '1.5' + 1 AS x" << 245 << 16
        << "Konwersja wartości '1.5' na typ danych int nie powiodła się.";
    QTest::newRow("plus: numbers added first, then the text")
        << "SELECT 1 + 2 + 'x' AS x" << 245 << 16
        << "Konwersja wartości 'x' na typ danych int nie powiodła się.";
    QTest::newRow("plus: bigint overflow")
        << "SELECT CAST(9223372036854775807 AS BIGINT) + 1 AS x" << 8115 << 16
        << "Błąd przepełnienia arytmetycznego podczas konwersji wyrażenia na typ danych bigint.";
    QTest::newRow("unknown character") << "SELECT Id FROM Osoby WHERE Id = $" << 102 << 15
                                       << "Niepoprawna składnia w pobliżu '$'.";
    QTest::newRow("unknown function") << "SELECT Brak(1) AS x" << 195 << 15
                                      << "'Brak' nie jest rozpoznawaną nazwą funkcji wbudowanej.";
    QTest::newRow("table exists") << "CREATE TABLE Osoby (a INT)" << 2714 << 16
                                  << "W bazie danych istnieje już obiekt o nazwie 'Osoby'.";
    QTest::newRow("values do not fit the table")
        << "INSERT INTO Osoby VALUES (1)" << 213 << 16
        << "Nazwa kolumny lub liczba podanych wartości nie odpowiada definicji tabeli.";
    QTest::newRow("union of different widths")
        << "SELECT Id FROM Osoby UNION SELECT Id, Kwota FROM Osoby" << 205 << 16
        << "Wszystkie zapytania połączone za pomocą operatora UNION, INTERSECT lub EXCEPT muszą "
           "mieć taką samą liczbę wyrażeń na listach docelowych.";
    QTest::newRow("subquery of two columns")
        << "SELECT (SELECT Id, Kwota FROM Osoby) AS x" << 116 << 16
        << "Gdy podzapytanie nie jest wprowadzone za pomocą operatora EXISTS, na liście wyboru "
           "można określić tylko jedno wyrażenie.";
    const QString keyed = QStringLiteral(
        "CREATE TABLE K (Id INT PRIMARY KEY, Nazwa NVARCHAR(10) NOT NULL UNIQUE, "
        "Ilosc INT CONSTRAINT CK_Ilosc CHECK (Ilosc > 0), Cena INT CHECK (Cena >= 0)) "
        "INSERT INTO K VALUES (1, 'a', 1, 1)\n");
    QTest::newRow("duplicate primary key")
        << keyed + "INSERT INTO K VALUES (1, 'b', 1, 1)" << 2627 << 14
        << "Naruszenie ograniczenia PRIMARY KEY. Nie można wstawić zduplikowanego klucza w "
           "obiekcie 'K'. Kolumny klucza: (Id).";
    QTest::newRow("duplicate unique key")
        << keyed + "INSERT INTO K VALUES (2, 'a', 1, 1)" << 2627 << 14
        << "Naruszenie ograniczenia UNIQUE KEY. Nie można wstawić zduplikowanego klucza w "
           "obiekcie 'K'. Kolumny klucza: (Nazwa).";
    QTest::newRow("duplicate key of two columns")
        << "CREATE TABLE P (a INT, b INT, PRIMARY KEY (a, b)) INSERT INTO P VALUES (1, 2) "
           "INSERT INTO P SELECT 1, 2"
        << 2627 << 14
        << "Naruszenie ograniczenia PRIMARY KEY. Nie można wstawić zduplikowanego klucza w "
           "obiekcie 'P'. Kolumny klucza: (a, b).";
    QTest::newRow("NULL inserted")
        << keyed + "INSERT INTO K VALUES (2, NULL, 1, 1)" << 515 << 16
        << "Nie można wstawić wartości NULL do kolumny 'Nazwa', tabela 'K'; kolumna nie "
           "dopuszcza wartości NULL. Instrukcja INSERT nie powiodła się.";
    QTest::newRow("NULL by an update")
        << keyed + "UPDATE K SET Nazwa = NULL" << 515 << 16
        << "Nie można wstawić wartości NULL do kolumny 'Nazwa', tabela 'K'; kolumna nie "
           "dopuszcza wartości NULL. Instrukcja UPDATE nie powiodła się.";
    QTest::newRow("named check")
        << keyed + "INSERT INTO K VALUES (2, 'b', 0, 1)" << 547 << 16
        << "Instrukcja INSERT spowodowała konflikt z ograniczeniem CHECK \"CK_Ilosc\".";
    QTest::newRow("unnamed check by an update")
        << keyed + "UPDATE K SET Cena = -1" << 547 << 16
        << "Instrukcja UPDATE spowodowała konflikt z ograniczeniem CHECK \"Cena >= 0\".";
    const QString related =
        QStringLiteral("PRAGMA foreign_keys = ON CREATE TABLE R (Id INT PRIMARY KEY) "
                       "CREATE TABLE D (RId INT REFERENCES R (Id)) INSERT INTO R VALUES (1) "
                       "INSERT INTO D VALUES (1)\n");
    QTest::newRow("missing referenced row")
        << related + "INSERT INTO D VALUES (2)" << 547 << 16
        << "Instrukcja INSERT spowodowała konflikt z ograniczeniem FOREIGN KEY.";
    QTest::newRow("referenced row deleted")
        << related + "DELETE FROM R" << 547 << 16
        << "Instrukcja DELETE spowodowała konflikt z ograniczeniem REFERENCE.";
    QTest::newRow("unmapped engine failure keeps its text")
        << "SELECT SUM(Id) AS x FROM Osoby WHERE SUM(Id) > 1" << 50000 << 16
        << "misuse of aggregate: SUM()";
    // The layer's own errors.
    QTest::newRow("undeclared variable")
        << "SELECT @x AS x" << 137 << 15 << "Należy zadeklarować zmienną skalarną \"@x\".";
    QTest::newRow("raiserror") << "RAISERROR('Błąd %s nr %d', 16, 1, 'abc', 5)" << 50000 << 16
                               << "Błąd abc nr 5";
    QTest::newRow("throw") << "THROW 50001, 'Własny błąd', 1" << 50001 << 16 << "Własny błąd";
    QTest::newRow("missing database")
        << "USE Brak" << 911 << 16
        << "Baza danych 'Brak' nie istnieje. Upewnij się, że nazwa została "
           "wprowadzona poprawnie.";
    QTest::newRow("path in a database name")
        << "USE \"../Testy\"" << 911 << 16
        << "Baza danych '../Testy' nie istnieje. Upewnij się, że nazwa "
           "została wprowadzona poprawnie.";
    QTest::newRow("IF is not supported")
        << "IF 1 = 1 SELECT 1" << 40001 << 16
        << "Polecenie IF nie jest obsługiwane przez wbudowany silnik SQLite.";
    QTest::newRow("text into INT")
        << "DECLARE @a INT SET @a = 'abc'" << 245 << 16
        << "Konwersja wartości 'abc' na typ danych int nie powiodła się.";
    QTest::newRow("INT overflow")
        << "DECLARE @a INT SET @a = 3000000000" << 8115 << 16
        << "Błąd przepełnienia arytmetycznego podczas konwersji wyrażenia na typ danych int.";
    // Hostile single statements: each stays within the server's limits and errors.
    QTest::newRow("CHAR past 8000")
        << "DECLARE @c CHAR(2000000000) = 'a'" << 131 << 15
        << "Rozmiar (2000000000) nadany typowi 'char' przekracza maksymalny rozmiar dozwolony "
           "dla dowolnego typu danych (8000).";
    QTest::newRow("NVARCHAR past 4000")
        << "DECLARE @c NVARCHAR(4001)" << 131 << 15
        << "Rozmiar (4001) nadany typowi 'nvarchar' przekracza maksymalny rozmiar dozwolony "
           "dla dowolnego typu danych (4000).";
    QTest::newRow("length past any integer")
        << "SELECT CAST('a' AS VARCHAR(99999999999999999999)) AS x" << 131 << 15
        << "Rozmiar (99999999999999999999) nadany typowi 'varchar' przekracza maksymalny "
           "rozmiar dozwolony dla dowolnego typu danych (8000).";
    QTest::newRow("BIGINT just past its range")
        << "SELECT CAST(9.25e18 AS BIGINT) AS x" << 8115 << 16
        << "Błąd przepełnienia arytmetycznego podczas konwersji wyrażenia na typ danych bigint.";
    QTest::newRow("BIGINT at 2^63")
        << "SELECT CAST(9223372036854775808e0 AS BIGINT) AS x" << 8115 << 16
        << "Błąd przepełnienia arytmetycznego podczas konwersji wyrażenia na typ danych bigint.";
    QTest::newRow("DATEADD count past int")
        << "SELECT DATEADD(hour, 9000000000000000, '20240101') AS x" << 8115 << 16
        << "Błąd przepełnienia arytmetycznego podczas konwersji wyrażenia na typ danych int.";
    QTest::newRow("DATEADD float count")
        << "SELECT DATEADD(day, 1e30, '20240101') AS x" << 8115 << 16
        << "Błąd przepełnienia arytmetycznego podczas konwersji wyrażenia na typ danych int.";
    QTest::newRow("DATEADD past 9999")
        << "SELECT DATEADD(year, 8000, '20240101') AS x" << 517 << 16
        << "Dodanie wartości do kolumny typu 'datetime' spowodowało przepełnienie.";
    QTest::newRow("DATEADD before year 1")
        << "SELECT DATEADD(day, -800000, '20240101') AS x" << 517 << 16
        << "Dodanie wartości do kolumny typu 'datetime' spowodowało przepełnienie.";
    QTest::newRow("LEFT with a huge float length")
        << "SELECT LEFT('abc', 1e30) AS x" << 8115 << 16
        << "Błąd przepełnienia arytmetycznego podczas konwersji wyrażenia na typ danych bigint.";
    QTest::newRow("RAISERROR severity past int")
        << "RAISERROR('x', 1e30, 1)" << 8115 << 16
        << "Błąd przepełnienia arytmetycznego podczas konwersji wyrażenia na typ danych int.";
    QTest::newRow("impossible date")
        << "DECLARE @d DATETIME SET @d = '20241340'" << 241 << 16
        << "Konwersja daty lub godziny z ciągu znaków '20241340' nie powiodła się.";
    QTest::newRow("bad date in CAST")
        << "SELECT CAST('jutro' AS DATE) AS x" << 241 << 16
        << "Konwersja daty lub godziny z ciągu znaków 'jutro' nie powiodła się.";
    QTest::newRow("unclosed string")
        << "SELECT 'abc" << 105 << 15 << "Niezamknięty cudzysłów po ciągu znaków 'abc'.";
    QTest::newRow("declared twice")
        << "DECLARE @a INT DECLARE @a INT" << 134 << 15
        << "Nazwa zmiennej '@a' została już zadeklarowana. Nazwy zmiennych muszą być "
           "unikatowe w obrębie partii zapytania.";
    QTest::newRow("table variable")
        << "DECLARE @t TABLE (a INT)" << 40001 << 16
        << "Zmienne typu TABLE nie są obsługiwane przez wbudowany silnik SQLite.";
    QTest::newRow("unknown type") << "DECLARE @a WIDGET" << 2715 << 16
                                  << "Nie można odnaleźć typu danych WIDGET.";
    QTest::newRow("top percent")
        << "SELECT TOP 10 PERCENT Id FROM Osoby" << 40001 << 16
        << "TOP ... PERCENT nie jest obsługiwane przez wbudowany silnik SQLite.";
    QTest::newRow("write to a read-only database")
        << "PRAGMA query_only = 1; INSERT INTO Mieszana VALUES (3)" << 3906 << 16
        << "Nie można zaktualizować bazy danych \"Testy\", ponieważ baza danych jest tylko do "
           "odczytu.";
    QTest::newRow("GO is not T-SQL")
        << "DECLARE @a INT\nGO" << 102 << 15 << "Niepoprawna składnia w pobliżu 'GO'.";
}

void DatabaseTest::errors() {
    QFETCH(QString, sql);
    QFETCH(int, native);
    QFETCH(int, severity);
    QFETCH(QString, text);
    Fixture f;
    DbQuery q(&f.conn);
    q.SQL = QStringLiteral("USE Testy\n") + sql;
    try {
        q.Open();
        QFAIL("Open did not raise");
    } catch (const EDbProviderError &e) {
        QCOMPARE(e.message(), text);
        QCOMPARE(e.code(), 0x80040E14u);
    }
    QVERIFY(!q.IsOpen());
    const QList<TOrvel_ProviderMessage> messages = f.conn.ProviderMessages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(int(messages[0].NativeError), native);
    QCOMPARE(messages[0].Number, 0x80040E14u);
    QCOMPARE(messages[0].Description, text);
    QCOMPARE(messages[0].Class, severity);
    QVERIFY(!messages[0].Source.isEmpty());
}

// RAISERROR's substitution stays within the server's 2047-character message whatever width or
// precision the format asks for; a longer message keeps 2044 characters and an ellipsis.
void DatabaseTest::raiserrorFormat_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("expected");
    const QVariantList five{qint64(5)};
    QTest::newRow("largest int width") << "%2147483647d" << five << QString(2046, u' ') + u'5';
    QTest::newRow("ten-digit width") << "%99999999999d" << five << QString(2046, u' ') + u'5';
    QTest::newRow("width past the end") << "ab%2047d" << five << "ab" + QString(2042, u' ') + "...";
    QTest::newRow("huge precision") << "%.99999999999s" << QVariantList{"abc"} << "abc";
    QTest::newRow("precision cuts a text") << "[%.2s]" << QVariantList{"abcdef"} << "[ab]";
    QTest::newRow("left aligned") << "[%-4d]" << five << "[5   ]";
    QTest::newRow("long literal text")
        << QString(3000, u'x') << QVariantList{} << QString(2044, u'x') + "...";
    QTest::newRow("exactly 2047") << QString(2047, u'x') << QVariantList{} << QString(2047, u'x');
}

void DatabaseTest::raiserrorFormat() {
    QFETCH(QString, format);
    QFETCH(QVariantList, args);
    QFETCH(QString, expected);
    QCOMPARE(tsql::FormatRaiserror(format, args), expected);
}

void DatabaseTest::batchStopsAtError() {
    Fixture f;
    DbQuery q(&f.conn);
    q.SQL = QStringLiteral(
        "USE Testy PRINT 'przed' RAISERROR('awaria', 16, 2) PRINT 'po' SELECT 1 AS x");
    QVERIFY_THROWS_EXCEPTION(EDbProviderError, q.Open());
    QCOMPARE(messageTexts(f.conn), QStringList({"przed", "awaria"}));
    QCOMPARE(f.conn.ProviderMessages()[1].State, 2);
    // The next statement starts with an empty message list.
    auto ok = f.open(QStringLiteral("SELECT 1 AS x"));
    QVERIFY(f.conn.ProviderMessages().isEmpty());
}

void DatabaseTest::printAndInformationMessages() {
    Fixture f;
    auto q = f.open(
        QStringLiteral("PRINT 'Liczba: ' + CAST(3 AS VARCHAR(5)) RAISERROR('uwaga %d', 10, 1, 7) "
                       "SELECT 1 AS x"));
    QVERIFY(q->IsOpen());
    const QList<TOrvel_ProviderMessage> messages = f.conn.ProviderMessages();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[0].Description, QStringLiteral("Liczba: 3"));
    QCOMPARE(messages[0].Class, 0);
    QCOMPARE(messages[0].Number, 0u);
    QCOMPARE(messages[1].Description, QStringLiteral("uwaga 7"));
    QCOMPARE(messages[1].Class, 10);
}

void DatabaseTest::batchWithoutResultSet() {
    Fixture f;
    DbQuery q(&f.conn);
    q.SQL = QStringLiteral("USE Testy CREATE TABLE #x (a INT) INSERT INTO #x VALUES (1)");
    try {
        q.Open();
        QFAIL("Open did not raise");
    } catch (const EDbProviderError &) {
        QFAIL("a batch without rows is not a provider error");
    } catch (const EOrvelError &e) {
        QCOMPARE(e.message(), QStringLiteral("Obiekt CommandText nie zwraca zestawu wyniku"));
    }
    QVERIFY(f.conn.ProviderMessages().isEmpty());
    q.SQL = QStringLiteral("USE Testy UPDATE Osoby SET Kwota = Kwota + 1 WHERE Id = 1");
    q.Execute();
    auto check = f.open(QStringLiteral("SELECT Kwota AS x FROM Osoby WHERE Id = 1"));
    QCOMPARE(check->Field(0)->AsString(), QStringLiteral("11,50"));
    // Results without columns before the first one with columns are passed over.
    auto later = f.open(
        QStringLiteral("CREATE TABLE #y (a INT) INSERT INTO #y VALUES (5) SELECT a FROM #y"));
    QCOMPARE(later->Field(0)->AsString(), QStringLiteral("5"));
}

// A statement of the engine that runs for minutes: a recursive common table expression counting to
// 10^9, as a report would write it.
const QString kLongCount =
    QStringLiteral("WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000000) "
                   "SELECT COUNT(*) AS ile FROM n OPTION (MAXRECURSION 0)");

void DatabaseTest::cancel_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("waitMSecs");  // before the cancel; 0: cancelled before the batch starts
    QTest::addColumn<bool>("tableMade"); // whether the batch's first statement ran

    // Inside the engine: the running statement is interrupted.
    QTest::newRow("long statement") << "CREATE TABLE #x (a INT) " + kLongCount << 300 << true;
    // Rows already read are not a result: the cancel drops them.
    QTest::newRow("rows partly read")
        << "CREATE TABLE #x (a INT) WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i "
           "< 1000000000) SELECT i FROM n WHERE i % 1000000 = 0 OPTION (MAXRECURSION 0)"
        << 300 << true;
    // A cancel asked before the batch reaches the engine still stops it, before its first
    // statement.
    QTest::newRow("before the start") << "CREATE TABLE #x (a INT) SELECT 1 AS a" << 0 << false;
}

void DatabaseTest::cancel() {
    QFETCH(QString, sql);
    QFETCH(int, waitMSecs);
    QFETCH(bool, tableMade);
    Fixture f;
    DbQuery q(&f.conn);
    q.SQL = QStringLiteral("USE Testy ") + sql;
    std::atomic<bool> cancelled = false;
    QString otherFailure;
    // Announced, so that the test never waits minutes for a cancel that came too early.
    f.conn.ExpectBatch();
    if (waitMSecs == 0)
        q.Cancel();
    std::thread worker([&] {
        try {
            q.Open();
        } catch (const EDbCancelled &e) {
            cancelled = e.message() == QStringLiteral("Wykonywanie raportu przerwane przez "
                                                      "użytkownika");
        } catch (const EOrvelError &e) {
            otherFailure = e.message();
        }
    });
    if (waitMSecs > 0) {
        QThread::msleep(static_cast<unsigned long>(waitMSecs));
        q.Cancel();
    }
    worker.join();
    QVERIFY2(otherFailure.isEmpty(), qPrintable(otherFailure));
    QVERIFY(cancelled);
    QVERIFY(!q.IsOpen());
    QCOMPARE(q.RecordCount(), 0);
    QVERIFY(f.conn.ProviderMessages().isEmpty());

    // The connection stays usable, and a cancel is not left behind for the next batch.
    q.SQL = QStringLiteral("SELECT COUNT(*) AS n FROM #x");
    bool made = true;
    try {
        q.Open();
    } catch (const EDbProviderError &) {
        made = false;
    }
    QCOMPARE(made, tableMade);
    auto next = f.open(QStringLiteral("SELECT COUNT(*) AS n FROM Osoby"));
    QCOMPARE(next->Field(0)->AsString(), QStringLiteral("9"));
}

// The engine's steps count the rows as they come: a result whose rows arrive slowly (one per 500
// steps of a recursion) is seen partly counted while it runs, the count never goes down, and it
// ends at the result's size; the next batch counts from none.
void DatabaseTest::rowsAreCountedAsTheyArrive() {
    Fixture f;
    DbQuery q(&f.conn);
    q.SQL = QStringLiteral("USE Testy WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < 10000000) SELECT i FROM n WHERE i % 500 = 0 OPTION (MAXRECURSION "
                           "0)");
    constexpr qint64 kRows = 20000;
    const RowCountWatch watch = WatchRowCount(f.conn, q, kRows, 2);
    QVERIFY2(watch.Failure.isEmpty(), qPrintable(watch.Failure));
    QVERIFY(watch.Partial);
    QVERIFY(watch.Monotonic);
    QCOMPARE(f.conn.RowsFetched(), kRows);
    QCOMPARE(q.RecordCount(), int(kRows));
    auto next = f.open(QStringLiteral("SELECT COUNT(*) AS n FROM Osoby"));
    QCOMPARE(f.conn.RowsFetched(), qint64(1));
}

void DatabaseTest::cancelWithNothingRunning() {
    Fixture f;
    DbQuery q(&f.conn);
    q.Cancel();
    f.conn.Cancel();
    auto next = f.open(QStringLiteral("SELECT COUNT(*) AS n FROM Osoby"));
    QCOMPARE(next->Field(0)->AsString(), QStringLiteral("9"));
    // A recursive expression of a few rows runs to its end (T-SQL without the RECURSIVE word).
    auto counted = f.open(QStringLiteral(
        "WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50) SELECT COUNT(*) AS "
        "ile FROM n"));
    QCOMPARE(counted->Field(0)->AsString(), QStringLiteral("50"));
}

void DatabaseTest::databaseListAndUse() {
    Fixture f;
    DbQuery list(&f.conn);
    list.SQL = QStringLiteral(
        "SELECT dbid,DB_NAME(dbid) AS DB_NAME From master..sysdatabases WHERE "
        "(Name<>'master' AND Name<>'model' AND Name<>'tempdb' AND Name<>'msdb') ORDER BY Name");
    list.Open();
    QStringList names;
    for (list.First(); !list.Eof(); list.Next())
        names << list.FieldByName(QStringLiteral("DB_NAME"))->AsString();
    QCOMPARE(names, QStringList({"Sprzedaż", "Testy"}));
    QVERIFY(IsNumericField(*list.FieldByName(QStringLiteral("dbid"))));

    // The listed name, upper-cased in ASCII letters only, still selects the database.
    DbQuery use(&f.conn);
    use.SQL = QStringLiteral("USE \"SPRZEDAż\"");
    use.Execute();
    DbQuery name(&f.conn);
    name.SQL = QStringLiteral("SELECT DB_NAME() AS n, COUNT(*) AS c FROM s");
    name.Open();
    QCOMPARE(name.Field(0)->AsString(), QStringLiteral("Sprzedaż"));
    // A failed USE keeps the current database.
    use.SQL = QStringLiteral("USE Brak");
    QVERIFY_THROWS_EXCEPTION(EDbProviderError, use.Execute());
    name.Open();
    QCOMPARE(name.Field(0)->AsString(), QStringLiteral("Sprzedaż"));
    use.SQL = QStringLiteral("USE [Testy]");
    use.Execute();
    name.SQL = QStringLiteral("SELECT DB_NAME() AS n");
    name.Open();
    QCOMPARE(name.Field(0)->AsString(), QStringLiteral("Testy"));
}

void DatabaseTest::openingAMissingFolderFails() {
    DbConnection conn;
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:/nie/ma/takiego/folderu");
    try {
        conn.Open(settings);
        QFAIL("Open did not raise");
    } catch (const EDbProviderError &e) {
        QCOMPARE(e.code(), 0x80004005u);
    }
    QVERIFY(!conn.IsConnected());
    DbQuery q(&conn);
    q.SQL = QStringLiteral("SELECT 1");
    QVERIFY_THROWS_EXCEPTION(EDbProviderError, q.Open());
}

void DatabaseTest::folderWithoutWriteAccessIsReadOnly() {
    if (::geteuid() == 0)
        QSKIP("the superuser may write to any folder");
    QTemporaryDir dir;
    execSqlite(dir.filePath(QStringLiteral("Demo.sqlite")),
               "CREATE TABLE t (a INT); INSERT INTO t VALUES (1);");
    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ExeOwner;
    QVERIFY(QFile::setPermissions(dir.path(), readOnly));
    // Given back before the temporary folder is removed, also when a check below fails.
    struct Restore {
        QString Path;
        ~Restore() {
            QFile::setPermissions(Path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    } restore{dir.path()};

    DbConnection conn;
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + dir.path();
    conn.Open(settings);
    DbQuery q(&conn);
    q.SQL = QStringLiteral("USE Demo SELECT COUNT(*) AS n FROM t");
    q.Open();
    QCOMPARE(q.Field(0)->AsString(), QStringLiteral("1"));
    q.SQL = QStringLiteral("USE Demo INSERT INTO t VALUES (2)");
    try {
        q.Execute();
        QFAIL("the write did not fail");
    } catch (const EDbProviderError &e) {
        QCOMPARE(e.message(), QStringLiteral("Nie można zaktualizować bazy danych \"Demo\", "
                                             "ponieważ baza danych jest tylko do odczytu."));
    }
    QCOMPARE(int(conn.ProviderMessages().value(0).NativeError), 3906);
}

void DatabaseTest::sorting_data() {
    QTest::addColumn<QString>("order");
    QTest::addColumn<QList<int>>("ids"); // the Id column in the sorted order
    // Texts in Polish order, letter case ignored; equal keys keep the stored order (Lis before
    // lis).
    QTest::newRow("text ascending") << "Nazwisko ASC" << QList<int>{3, 8, 7, 2, 5, 9, 1, 6, 4};
    QTest::newRow("text descending") << "Nazwisko DESC" << QList<int>{4, 6, 1, 9, 2, 5, 7, 8, 3};
    // Decimals by value, not by text: -20 < -1 < 0 < 9.75 < 10.5 < 100.
    QTest::newRow("decimal ascending") << "Kwota ASC" << QList<int>{4, 9, 2, 7, 3, 6, 1, 8, 5};
    QTest::newRow("date ascending") << "Data ASC" << QList<int>{2, 7, 9, 6, 3, 4, 8, 1, 5};
    QTest::newRow("date descending") << "Data DESC" << QList<int>{1, 5, 8, 4, 3, 6, 9, 2, 7};
    QTest::newRow("name without direction") << "kwota" << QList<int>{4, 9, 2, 7, 3, 6, 1, 8, 5};
}

void DatabaseTest::sorting() {
    QFETCH(QString, order);
    QFETCH(QList<int>, ids);
    Fixture f;
    auto q = f.open(QStringLiteral("SELECT Id, Nazwisko, Kwota, Data FROM Osoby ORDER BY Id"));
    QSignalSpy changed(q.get(), &DbQuery::resultChanged);
    q->Sort(order);
    QCOMPARE(changed.size(), 1);
    QList<int> got;
    for (q->First(); !q->Eof(); q->Next())
        got << q->Field(0)->AsString().toInt();
    QCOMPARE(got, ids);
    QCOMPARE(q->RecNo(), 9);
}

void DatabaseTest::sortingErrorsAndRestore() {
    Fixture f;
    auto q =
        f.open(QStringLiteral("SELECT Id, Nazwisko AS [Nazwisko / imię] FROM Osoby ORDER BY Id"));
    q->Sort(QStringLiteral("Nazwisko / imię DESC"));
    q->First();
    QCOMPARE(q->Field(0)->AsString(), QStringLiteral("4"));
    try {
        q->Sort(QStringLiteral("Brak ASC"));
        QFAIL("Sort did not raise");
    } catch (const EOrvelError &e) {
        QCOMPARE(e.message(), QStringLiteral("Pole 'Brak' nie znalezione"));
    }
    q->Sort(QString());
    q->First();
    QCOMPARE(q->Field(0)->AsString(), QStringLiteral("1"));
    DbQuery closed(&f.conn);
    QVERIFY_THROWS_EXCEPTION(EOrvelError, closed.Sort(QStringLiteral("Id ASC")));
}

// Results large enough to be sorted in parallel slices: still one stable order.
void DatabaseTest::largeSortsAreStable() {
    Fixture f;
    auto q = f.open(QStringLiteral(
        "CREATE TABLE #d (Id INT, T NVARCHAR(10), K NUMERIC(10,2)) "
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120000) "
        "INSERT INTO #d SELECT i, CASE i % 4 WHEN 0 THEN 'Łąka' WHEN 1 THEN 'las' WHEN 2 THEN "
        "'Las' END, "
        "(i * 7919 % 1000) / 4.0 - 100 FROM n "
        "SELECT Id, T, K FROM #d ORDER BY Id"));
    QCOMPARE(q->RecordCount(), 120000);
    for (const QString &column : {QStringLiteral("T"), QStringLiteral("K")}) {
        for (const bool ascending : {true, false}) {
            q->Sort(column + (ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
            DbField *key = q->FieldByName(column);
            DbField *id = q->Field(0);
            auto rank = [&](int row) {
                if (key->IsNullAt(row))
                    return -1e9; // NULL is the least value: first ascending, last descending
                if (column == QLatin1String("K"))
                    return key->ValueAt(row).toString().toDouble();
                const QString t = key->AsStringAt(row).toLower();
                return t == QLatin1String("las") ? 1.0 : 2.0; // "las" = "Las" < "Łąka"
            };
            for (int r = 1; r < q->RecordCount(); ++r) {
                const double a = rank(r - 1), b = rank(r);
                QVERIFY2(ascending ? a <= b : a >= b,
                         qPrintable(QStringLiteral("%1 at row %2").arg(column).arg(r)));
                if (a == b)
                    QVERIFY2(id->AsStringAt(r - 1).toInt() < id->AsStringAt(r).toInt(),
                             "ties keep the stored order");
            }
        }
    }
}

// Texts whose collation keys agree far beyond their first bytes, letter-case twins, empty texts
// and NULLs; decimals that only their last digits tell apart; both directions, twice each (the
// second time from the kept keys). The order must be the collator's, stable, NULLs at the ends.
void DatabaseTest::sortKeysOrderLikeTheCollator() {
    Fixture f;
    const QStringList texts = {QStringLiteral("Łukasz Nowakowski-Kowalski 10"),
                               QStringLiteral("łukasz nowakowski-kowalski 10"),
                               QStringLiteral("Łukasz Nowakowski-Kowalski 9"),
                               QStringLiteral("Lukasz Nowakowski-Kowalski 9"),
                               QStringLiteral("Łukasz Nowakowski-Kowalski"),
                               QStringLiteral(""),
                               QStringLiteral("Zenon"),
                               QStringLiteral("Żaneta"),
                               QStringLiteral("zenon"),
                               QStringLiteral("Ćma"),
                               QStringLiteral("Cma"),
                               QStringLiteral("Łukasz Nowakowski-Kowalska")};
    const QStringList decimals = {QStringLiteral("12345678901234567890123456789012.000001"),
                                  QStringLiteral("12345678901234567890123456789012.000002"),
                                  QStringLiteral("-0.00"),
                                  QStringLiteral("0"),
                                  QStringLiteral("-12345678901234567890.5"),
                                  QStringLiteral("-12345678901234567890.4"),
                                  QStringLiteral("7.10"),
                                  QStringLiteral("7.1")};
    QString sql = QStringLiteral("CREATE TABLE #s (Id INT, T NVARCHAR(60), K NUMERIC(38,6)) ");
    const int rows = 600;
    for (int i = 0; i < rows; ++i) {
        const QString t = i % 17 == 0 ? QStringLiteral("NULL")
                                      : QStringLiteral("'%1'").arg(texts[(i * 7) % texts.size()]);
        const QString k = i % 19 == 0
                              ? QStringLiteral("NULL")
                              : QStringLiteral("'%1'").arg(decimals[(i * 5) % decimals.size()]);
        sql += QStringLiteral("INSERT INTO #s VALUES (%1, %2, %3) ").arg(i).arg(t, k);
    }
    sql += QStringLiteral("SELECT Id, T, K FROM #s ORDER BY Id");
    auto q = f.open(sql);
    QCOMPARE(q->RecordCount(), rows);

    QCollator collator(QLocale(QLocale::Polish, QLocale::Poland));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const auto decimalLess = [](const QString &a, const QString &b) {
        // Exact for these values: same scale once padded, compared as signed digit strings.
        auto norm = [](QString s) {
            const bool negative = s.startsWith(u'-');
            if (negative)
                s.remove(0, 1);
            if (!s.contains(u'.'))
                s += u'.';
            const qsizetype dot = s.indexOf(u'.');
            s = s.left(dot).rightJustified(40, u'0') + s.mid(dot + 1).leftJustified(10, u'0');
            const bool zero = !s.contains(QRegularExpression(QStringLiteral("[1-9]")));
            return std::pair<bool, QString>(negative && !zero, s);
        };
        const auto [na, sa] = norm(a);
        const auto [nb, sb] = norm(b);
        if (na != nb)
            return na;
        return na ? sb < sa : sa < sb;
    };
    for (const QString &column : {QStringLiteral("T"), QStringLiteral("K")}) {
        const int index = column == u'T' ? 1 : 2;
        for (int pass = 0; pass < 2; ++pass) {
            for (const bool ascending : {true, false}) {
                // The expected order: a stable sort of the stored rows.
                QList<int> expected(rows);
                std::iota(expected.begin(), expected.end(), 0);
                const DbResult *result = q->Result();
                const DbColumn &c = result->Column(index);
                std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
                    const bool nullA = c.IsNull(a), nullB = c.IsNull(b);
                    if (nullA || nullB)
                        return ascending ? nullA && !nullB : nullB && !nullA;
                    const QString x = c.Text(a).toString(), y = c.Text(b).toString();
                    if (index == 1)
                        return ascending ? collator.compare(x, y) < 0 : collator.compare(y, x) < 0;
                    return ascending ? decimalLess(x, y) : decimalLess(y, x);
                });
                q->Sort(column + (ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
                QList<int> got;
                for (int r = 0; r < rows; ++r)
                    got << q->StoredRow(r);
                QVERIFY2(got == expected,
                         qPrintable(QStringLiteral("%1 %2, pass %3")
                                        .arg(column, ascending ? u"ASC"_qs : u"DESC"_qs)
                                        .arg(pass)));
            }
        }
    }
}

void DatabaseTest::navigationAndSignals() {
    Fixture f;
    auto q = f.open(QStringLiteral("SELECT Id FROM Osoby WHERE Id <= 3 ORDER BY Id"));
    QCOMPARE(q->RecNo(), 1);
    QVERIFY(!q->Eof());
    QSignalSpy moved(q.get(), &DbQuery::currentChanged);
    q->DisableControls();
    q->DisableControls();
    q->Next();
    const int mark = q->Bookmark();
    q->Next();
    q->EnableControls();
    QCOMPARE(moved.size(), 0); // still disabled: the calls nest
    q->Next();
    QVERIFY(q->Eof());
    QCOMPARE(q->RecNo(), 3);
    q->GotoBookmark(mark);
    QCOMPARE(q->Field(0)->AsString(), QStringLiteral("2"));
    QVERIFY(!q->Eof());
    q->EnableControls();
    QCOMPARE(moved.size(), 1); // one notice when the walk ends
    q->Close();
    QCOMPARE(q->RecNo(), 0);
    QVERIFY(q->Eof());
    auto empty = f.open(QStringLiteral("SELECT Id FROM Osoby WHERE Id > 100"));
    QCOMPARE(empty->RecordCount(), 0);
    QVERIFY(empty->Eof());
    QCOMPARE(empty->FieldCount(), 1);
}

void DatabaseTest::fieldsByNameAndDisplay() {
    Fixture f;
    auto q = f.open(QStringLiteral("SELECT cBit, cDate, cDec AS [Kwota netto / zł] FROM Typy"));
    QCOMPARE(q->FindField(QStringLiteral("KWOTA NETTO / ZŁ")), q->Field(2));
    QCOMPARE(q->FindField(QStringLiteral("brak")), nullptr);
    try {
        q->FieldByName(QStringLiteral("brak"));
        QFAIL("FieldByName did not raise");
    } catch (const EOrvelError &e) {
        QCOMPARE(e.message(), QStringLiteral("Pole 'brak' nie znalezione"));
    }
    DbField *bit = q->Field(0);
    QCOMPARE(bit->DisplayText(), QStringLiteral("tak"));
    bit->DisplayValues = QStringLiteral("T;N");
    QCOMPARE(bit->DisplayText(), QStringLiteral("T"));
    QCOMPARE(q->Field(1)->DisplayText(), QStringLiteral("31.01.2024"));
    QCOMPARE(FieldTypeName(*q->Field(0)), QStringLiteral("logiczny"));
    QCOMPARE(FieldTypeName(*q->Field(1)), QStringLiteral("data"));
    QCOMPARE(FieldTypeName(*q->Field(2)), QStringLiteral("liczba"));
    QVERIFY(IsDateTimeField(*q->Field(1)));
}

// Every shipped sample report: its pick lists and its script run on the demo databases, with no
// values and with sample values put in at the marker line as the run puts them.
namespace {
struct SampleParam {
    QString name, type, key, listquery, listitems, listvalues;
    int width = 10, decimal = 2;
};

QString sqlType(const SampleParam &p) {
    if (p.type == QLatin1String("TEXT"))
        return QStringLiteral("NVARCHAR(%1)").arg(p.width);
    if (p.type == QLatin1String("NUMERIC"))
        return QStringLiteral("NUMERIC(%1,%2)").arg(p.width).arg(p.decimal);
    if (p.type == QLatin1String("DATE"))
        return QStringLiteral("DATETIME");
    if (p.type == QLatin1String("BIT"))
        return QStringLiteral("BIT");
    return QStringLiteral("INT");
}

QList<SampleParam> readParams(const QString &file, QString *defaultDb) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&in);
    QList<SampleParam> params;
    SampleParam *cur = nullptr;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString n = xml.name().toString();
        if (n == QLatin1String("item")) {
            params.append(SampleParam());
            cur = &params.last();
        } else if (n == QLatin1String("defaultdb")) {
            *defaultDb = xml.readElementText().trimmed();
        } else if (cur && n != QLatin1String("params")) {
            const QString v = xml.readElementText();
            if (n == QLatin1String("name"))
                cur->name = v;
            else if (n == QLatin1String("type"))
                cur->type = v;
            else if (n == QLatin1String("width"))
                cur->width = v.toInt();
            else if (n == QLatin1String("decimal"))
                cur->decimal = v.toInt();
            else if (n == QLatin1String("key"))
                cur->key = v;
            else if (n == QLatin1String("listquery"))
                cur->listquery = v;
            else if (n == QLatin1String("listitems"))
                cur->listitems = v;
            else if (n == QLatin1String("listvalues"))
                cur->listvalues = v;
        }
    }
    return xml.hasError() ? QList<SampleParam>() : params;
}

QString assignments(const QList<SampleParam> &params, const QStringList &values) {
    QString block;
    for (int i = 0; i < params.size(); ++i)
        block +=
            QStringLiteral("SET @%1 = %2 -- %3\r\n").arg(params[i].name, values[i], params[i].type);
    return block;
}
} // namespace

void DatabaseTest::sampleReportsRun() {
    const QString folder = SourceDir() + QStringLiteral("/data/data reports/Przykłady");
    const QStringList files =
        QDir(folder).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 4);
    DbConnection conn;
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + BuiltAppDir() + QStringLiteral("/data/demo");
    conn.Open(settings);
    QSet<QString> kinds;
    bool formatColumnSeen = false;
    const QString marker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");
    for (const QString &file : files) {
        QString db;
        const QList<SampleParam> params = readParams(folder + QLatin1Char('/') + file, &db);
        QVERIFY2(!params.isEmpty(), qPrintable(file));
        const QByteArray bytes =
            ReadBytes(folder + QLatin1Char('/') + QFileInfo(file).completeBaseName() +
                      QStringLiteral(".sql"));
        const TOrvel_DecodedText script = DecodeScriptText(bytes);
        QVERIFY2(script.Encoding == TOrvel_TextEncoding::teWindows1250, qPrintable(file));
        QVERIFY2(script.Text.contains(marker), qPrintable(file));
        DbQuery use(&conn);
        use.SQL = QStringLiteral("USE \"%1\"").arg(AsciiUpper(db));
        use.Execute();

        QStringList nulls, samples;
        for (const SampleParam &p : params)
            nulls << (p.type == QLatin1String("BIT") ? QStringLiteral("0")
                                                     : QStringLiteral("NULL"));
        for (const SampleParam &p : params) {
            QString sample;
            if (!p.listquery.isEmpty()) {
                kinds << (p.listquery.contains(QLatin1Char('@')) ? QStringLiteral("dependent list")
                                                                 : QStringLiteral("SQL list"));
                // The pick list's query runs after the declarations and current values of all
                // parameters chosen so far, as the panel runs it.
                QString declare = QStringLiteral("DECLARE\r\n");
                for (int i = 0; i < params.size(); ++i)
                    declare += QStringLiteral(" @%1 %2%3\r\n")
                                   .arg(params[i].name, sqlType(params[i]),
                                        i + 1 < params.size() ? QStringLiteral(",") : QString());
                DbQuery list(&conn);
                QStringList current = samples;
                while (current.size() < params.size())
                    current << nulls[current.size()];
                list.SQL = declare + QStringLiteral("\r\n") + assignments(params, current) +
                           QStringLiteral("\r\n") + p.listquery;
                list.Open();
                QVERIFY2(list.RecordCount() > 0, qPrintable(file + QLatin1Char(' ') + p.name));
                QVERIFY(list.FieldByName(p.key));
                sample = list.FieldByName(p.key)->AsString();
                if (p.type == QLatin1String("TEXT"))
                    sample = QLatin1Char('\'') + sample + QLatin1Char('\'');
            } else if (!p.listitems.isEmpty()) {
                if (!p.listvalues.isEmpty()) {
                    kinds << QStringLiteral("list with values");
                    sample = QLatin1Char('\'') + p.listvalues.section(QLatin1Char(';'), 1, 1) +
                             QLatin1Char('\'');
                } else {
                    kinds << QStringLiteral("list without values");
                    sample = p.type == QLatin1String("TEXT") ? QStringLiteral("'1'")
                                                             : QStringLiteral("1");
                }
            } else {
                kinds << p.type;
                if (p.type == QLatin1String("TEXT"))
                    sample = QStringLiteral("'a'");
                else if (p.type == QLatin1String("BIT"))
                    sample = QStringLiteral("1");
                else if (p.type == QLatin1String("NUMERIC"))
                    sample = QStringLiteral("100.5");
                else if (p.type == QLatin1String("DATE"))
                    sample = QStringLiteral("'20240131'");
                else
                    sample = QStringLiteral("2");
            }
            samples << sample;
        }
        for (const QStringList &values : {nulls, samples}) {
            DbQuery run(&conn);
            run.CommandTimeout = 600;
            QString sql = script.Text.trimmed();
            sql.replace(sql.indexOf(marker), marker.size(), assignments(params, values));
            run.SQL = sql;
            try {
                run.Open();
            } catch (const EOrvelError &e) {
                QFAIL(qPrintable(file + QStringLiteral(": ") + e.message() + QStringLiteral("\n") +
                                 sql));
            }
            QVERIFY(run.FieldCount() > 1);
            if (values == nulls)
                QVERIFY2(run.RecordCount() > 0, qPrintable(file));
            formatColumnSeen =
                formatColumnSeen || run.FindField(QStringLiteral("orvel_zestawnik_format"));
        }
    }
    for (const char *kind : {"INT", "TEXT", "BIT", "NUMERIC", "DATE", "list with values",
                             "list without values", "SQL list", "dependent list"})
        QVERIFY2(kinds.contains(QLatin1String(kind)), kind);
    QVERIFY(formatColumnSeen);
}

QTEST_GUILESS_MAIN(DatabaseTest)
#include "test_database.moc"
