#include "FormatFixtures.h"
#include "U_DisplayFormat.h"

#include <QtTest>
#include <limits>

// Numeric patterns over doubles and exact decimal texts.
class NumberFormatTest : public QObject {
    Q_OBJECT
private slots:
    void formatFloat_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const char *loc, const QString &pattern, double v,
                      const QString &expected) {
            QTest::newRow(name) << QString::fromLatin1(loc) << pattern << v << expected;
        };
        // Fixed decimals and grouping with the user's separators
        row("three decimals", "pl", "0.000", 1234.5, "1234,500");
        row("grouped, blank separator", "pl", "#,##0.00", 1234.5, "1 234,50");
        row("grouped millions", "pl", "#,##0.00", 1234567.891, "1 234 567,89");
        row("grouped negative", "pl", "#,##0.00", -1234567.891, "-1 234 567,89");
        row("grouped below a thousand", "pl", "#,##0.00", 999.999, "1 000,00");
        row("grouped small", "pl", "#,##0.00", 0.5, "0,50");
        row("english grouping", "en", "#,##0.00", 1234.5, "1,234.50");
        row("comma after the point does not group", "pl", "0.00,", 1234.5, "1234,50");
        // Rounding half away from zero on the decimal value, never "-0"
        row("half up", "pl", "0", 0.5, "1");
        row("half up 2.5", "pl", "0", 2.5, "3");
        row("half away negative", "pl", "0", -0.5, "-1");
        row("decimal 2.675", "pl", "0.00", 2.675, "2,68");
        row("decimal -2.675", "pl", "0.00", -2.675, "-2,68");
        row("carry through nines", "pl", "0.00", 9.995, "10,00");
        row("rounds to zero, no sign", "pl", "0.00", -0.001, "0,00");
        // Placeholders
        row("leading zeros", "pl", "00000", 42, "00042");
        row("more digits than placeholders", "pl", "00", 1234567, "1234567");
        row("literal between digit places", "pl", "000-000", 12345, "012-345");
        row("hash shows no zero", "pl", "#", 0, "");
        row("hash fraction only", "pl", "#.##", 0.5, ",5");
        row("optional decimals dropped", "pl", "0.##", 1, "1");
        row("optional decimals kept", "pl", "0.0#", 1.25, "1,25");
        row("optional decimals trimmed", "pl", "0.0#", 1.2, "1,2");
        row("no integer places", "pl", ".00", 12.5, "12,50");
        // Sections
        row("negative section", "pl", "0.00;(0.00)", -5, "(5,00)");
        row("positive with sections", "pl", "0.00;(0.00);zero", 5, "5,00");
        row("zero section", "pl", "0.00;(0.00);zero", 0, "zero");
        row("rounded to zero uses zero section", "pl", "0.00;(0.00);zero", -0.001, "zero");
        row("empty negative section falls back", "pl", "0.00;;zero", -5, "-5,00");
        row("empty zero section falls back", "pl", "0.00;(0.00);", 0, "0,00");
        row("dash for zero", "pl", "#,##0.00;-#,##0.00;-", 0, "-");
        row("semicolon in quotes", "pl", "0';'0", 12, "1;2");
        // Exponents
        row("exponent plus", "pl", "0.00E+00", 1234.5, "1,23E+03");
        row("exponent plus negative", "pl", "0.00E+00", 0.00012345, "1,23E-04");
        row("exponent minus only", "pl", "0.00E-00", 1234.5, "1,23E03");
        row("exponent lower case", "pl", "0.00e-0", 0.00012345, "1,23e-4");
        row("two integer places", "pl", "00.0E+0", 1234.5, "12,3E+2");
        row("exponent carry", "pl", "0.0E+00", 9.99, "1,0E+01");
        row("exponent of zero", "pl", "0.00E+00", 0, "0,00E+00");
        row("exponent negative value", "pl", "0.0E+0", -1500, "-1,5E+3");
        row("exponent digits capped at four", "pl", "0E+000000", 5, "5E+0000");
        // Literals
        row("quoted hash", "pl", "'#'0", 5, "#5");
        row("double-quoted text", "pl", "\"zł \"0.00", 5, "zł 5,00");
        row("trailing text", "pl", "0.00 zł", 5, "5,00 zł");
        row("percent is literal", "pl", "0%", 5, "5%");
        row("unterminated quote", "pl", "0'abc", 5, "5abc");
        // The general form
        row("general", "pl", "", 1234.5, "1234,5");
        row("general small", "pl", "", 0.1, "0,1");
        row("general large", "pl", "", 1e20, "1E20");
        row("general tiny", "pl", "", -1.5e-7, "-1,5E-7");
        row("general english", "en", "", 1234.5, "1234.5");
        row("empty first section", "pl", ";(0)", 5, "5");
        row("nan", "pl", "0.00", std::numeric_limits<double>::quiet_NaN(), "NAN");
        row("infinity", "pl", "0.00", -std::numeric_limits<double>::infinity(), "-INF");
    }
    void formatFloat() {
        QFETCH(QString, locale);
        QFETCH(QString, pattern);
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(FormatFloat(pattern, value, SettingsNamed(locale)), expected);
    }

    void formatDecimalText_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("38 digits grouped")
            << "#,##0.00"
            << "12345678901234567890123456789012345678"
            << "12 345 678 901 234 567 890 123 456 789 012 345 678,00";
        QTest::newRow("scale 10 kept exactly") << "0.0000000000"
                                               << "1234567890123456789012345678.1234567890"
                                               << "1234567890123456789012345678,1234567890";
        QTest::newRow("rounding at 38 digits") << "0.00"
                                               << "99999999999999999999999999999999999.995"
                                               << "100000000000000000000000000000000000,00";
        QTest::newRow("half away from zero") << "0.00"
                                             << "0.125"
                                             << "0,13";
        QTest::newRow("negative half") << "0.00"
                                       << "-0.005"
                                       << "-0,01";
        QTest::newRow("negative to zero") << "0.00"
                                          << "-0.004"
                                          << "0,00";
        QTest::newRow("trailing zeros of the text") << "0.00"
                                                    << "-1234.5600"
                                                    << "-1234,56";
        QTest::newRow("exponent") << "0.000E+00"
                                  << "12345678901234567890"
                                  << "1,235E+19";
        QTest::newRow("general keeps every digit") << ""
                                                   << "123456789012345678901234567.8901"
                                                   << "123456789012345678901234567,8901";
        QTest::newRow("general drops trailing zeros") << ""
                                                      << "12.50"
                                                      << "12,5";
        QTest::newRow("not a number shown as given") << "0.00"
                                                     << "abc"
                                                     << "abc";
        QTest::newRow("empty text shown as given") << "0.00"
                                                   << ""
                                                   << "";
    }
    void formatDecimalText() {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(FormatDecimalText(pattern, text, PolishSettings()), expected);
    }

    void groupSeparatorIsPlainBlank() {
        // The Polish locale groups with a no-break space; what is written is a plain blank.
        const TOrvel_FormatSettings fs =
            TOrvel_FormatSettings::FromLocale(QLocale(QLocale::Polish, QLocale::Poland));
        QCOMPARE(DisplayThousandSeparator(fs), QChar(u' '));
        QCOMPARE(FormatFloat("#,##0", 1234567, fs), QStringLiteral("1 234 567"));
    }

    void decimalsAreCapped() {
        const QString pattern = "0." + QString(5000, u'0');
        const QString out = FormatFloat(pattern, 1.0 / 3.0, PolishSettings());
        QCOMPARE(out.size(), 2 + 40);
        QVERIFY(out.startsWith(u"0,333333333333333"));
        QCOMPARE(FormatDecimalText(pattern, "2.5", PolishSettings()), "2,5" + QString(39, u'0'));
    }

    // Nonsense patterns still give some text, bounded by the pattern's size.
    void nonsensePatterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("separators only") << ";;;;";
        QTest::newRow("quotes only") << "''''\"";
        QTest::newRow("exponents only") << "E+E-e+e-";
        QTest::newRow("points and commas") << ".,.,.,";
        QTest::newRow("many points") << "#,,,,##0.0.0.0E+0.0";
        QTest::newRow("exponent without mantissa") << "E+0000000";
        QTest::newRow("long mixed") << QString("#,0.;E+'\"x").repeated(20000);
        QTest::newRow("long integer places") << QString(100000, u'0');
    }
    void nonsensePatterns() {
        QFETCH(QString, pattern);
        for (double v : {0.0, -1.5, 1e300, 123456.789}) {
            const QString out = FormatFloat(pattern, v, PolishSettings());
            QVERIFY(out.size() <= pattern.size() * 2 + 400);
        }
        const QString out = FormatDecimalText(pattern, "-98765.4321", PolishSettings());
        QVERIFY(out.size() <= pattern.size() * 2 + 400);
    }
};

// Date-time patterns.
class DateFormatTest : public QObject {
    Q_OBJECT
private slots:
    void formatDateTime_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QDateTime>("value");
        QTest::addColumn<QString>("expected");
        const QDateTime afternoon(QDate(2024, 1, 31), QTime(14, 5, 9, 7)); // a Wednesday
        const QDateTime midnight(QDate(2024, 1, 31), QTime(0, 0));
        const QDateTime halfPastMidnight(QDate(2024, 1, 31), QTime(0, 30));
        const QDateTime noon(QDate(2024, 7, 5), QTime(12, 0, 0));
        auto row = [](const char *name, const char *loc, const QString &pattern, const QDateTime &v,
                      const QString &expected) {
            QTest::newRow(name) << QString::fromLatin1(loc) << pattern << v << expected;
        };
        row("c", "pl", "c", afternoon, "31.01.2024 14:05:09");
        row("c at midnight", "pl", "c", midnight, "31.01.2024");
        row("c english", "en", "c", afternoon, "1/31/2024 2:05:09 PM");
        row("empty pattern is c", "pl", "", afternoon, "31.01.2024 14:05:09");
        row("short date", "pl", "ddddd", afternoon, "31.01.2024");
        row("short date english", "en", "ddddd", afternoon, "1/31/2024");
        row("long date", "pl", "dddddd", afternoon, "31 styczeń 2024");
        row("long date english", "en", "dddddd", afternoon, "Wednesday, January 31, 2024");
        row("day numbers", "pl", "d dd", QDateTime(QDate(2024, 3, 5), QTime(0, 0)), "5 05");
        row("day names", "pl", "ddd dddd", afternoon, "śr. środa");
        row("day names english", "en", "ddd dddd", afternoon, "Wed Wednesday");
        row("month numbers", "pl", "m mm", afternoon, "1 01");
        row("month names", "pl", "mmm mmmm", afternoon, "sty styczeń");
        row("month names english", "en", "mmm mmmm", afternoon, "Jan January");
        row("years", "pl", "yy yyyy", afternoon, "24 2024");
        row("year padded", "pl", "yyyy", QDateTime(QDate(999, 1, 1), QTime(0, 0)), "0999");
        row("date separator", "pl", "dd/mm/yyyy", afternoon, "31.01.2024");
        row("date separator english", "en", "dd/mm/yyyy", afternoon, "31/01/2024");
        row("time", "pl", "hh:nn:ss", afternoon, "14:05:09");
        row("m after hour is minutes", "pl", "hh:mm", afternoon, "14:05");
        row("m after hour, short", "pl", "h:m", afternoon, "14:5");
        row("m after day is month", "pl", "hh dd mm", afternoon, "14 31 01");
        row("month before hour", "pl", "mm hh", afternoon, "01 14");
        row("milliseconds", "pl", "z zzz", afternoon, "7 007");
        row("short and long time", "pl", "t|tt", afternoon, "14:05|14:05:09");
        row("short and long time english", "en", "t|tt", afternoon, "2:05 PM|2:05:09 PM");
        row("am/pm lower", "pl", "h:nn am/pm", afternoon, "2:05 pm");
        row("am/pm upper", "pl", "h:nn AM/PM", afternoon, "2:05 PM");
        row("am/pm mixed case", "pl", "h:nn Am/pM", afternoon, "2:05 pM");
        row("am/pm after midnight", "pl", "h:nn am/pm", halfPastMidnight, "12:30 am");
        row("am/pm at noon", "pl", "hh am/pm", noon, "12 pm");
        row("a/p", "pl", "hh a/p", afternoon, "02 p");
        row("a/p morning", "pl", "hh A/P", halfPastMidnight, "12 A");
        row("ampm user markers", "en", "h ampm", afternoon, "2 PM");
        row("marker applies to the preceding hour only", "pl", "hh:nn hh am/pm", afternoon,
            "14:05 02 pm");
        row("lone a is literal", "pl", "hh a", afternoon, "14 a");
        row("upper-case specifiers", "pl", "DD.MM.YYYY HH:NN", afternoon, "31.01.2024 14:05");
        row("quoted literals", "pl", "'dd' dd \"mm\"", afternoon, "dd 31 mm");
        row("other letters literal", "pl", "dd-x-qr", afternoon, "31-x-qr");
        row("colon is the time separator", "pl", "hh:nn", afternoon, "14:05");
    }
    void formatDateTime() {
        QFETCH(QString, locale);
        QFETCH(QString, pattern);
        QFETCH(QDateTime, value);
        QFETCH(QString, expected);
        QCOMPARE(FormatDateTime(pattern, value, SettingsNamed(locale)), expected);
    }

    void userSeparatorsReplaceSlashAndColon() {
        TOrvel_FormatSettings fs = PolishSettings();
        fs.DateSeparator = u'-';
        fs.TimeSeparator = u'.';
        QCOMPARE(
            FormatDateTime("yyyy/mm/dd hh:nn", QDateTime(QDate(2024, 1, 31), QTime(14, 5)), fs),
            QStringLiteral("2024-01-31 14.05"));
    }

    void emptyPatternPerKind() {
        const TOrvel_FormatSettings pl = PolishSettings();
        QCOMPARE(FormatDateOnly(QDate(2024, 1, 31), pl), QStringLiteral("31.01.2024"));
        QCOMPARE(FormatTimeOnly(QTime(14, 5, 9), pl), QStringLiteral("14:05:09"));
        QCOMPARE(FormatTimeOnly(QTime(14, 5, 9), EnglishSettings()), QStringLiteral("2:05:09 PM"));
        QCOMPARE(FormatDateOnly(QDate(), pl), QString());
        QCOMPARE(FormatDateTime("c", QDateTime(), pl), QString());
    }

    void localeLongTimeHasNoZone() {
        // The system's long time format names a time zone; result values carry none.
        const TOrvel_FormatSettings fs =
            TOrvel_FormatSettings::FromLocale(QLocale(QLocale::Polish, QLocale::Poland));
        QCOMPARE(FormatTimeOnly(QTime(14, 5, 9), fs), QStringLiteral("14:05:09"));
    }

    void longPatternIsBounded() {
        const QString pattern = QString("dddddd c am/pm 'x").repeated(5000);
        const QString out =
            FormatDateTime(pattern, QDateTime(QDate(2024, 1, 31), QTime(1, 2)), PolishSettings());
        QVERIFY(!out.isEmpty());
        QVERIFY(out.size() <= pattern.size() * 4);
    }
};

// The compiled per-field formats that the grid and the exports share.
class FieldFormatTest : public QObject {
    Q_OBJECT
private slots:
    // Calendar fields worked out from the stored milliseconds agree with Qt's calendar over a
    // long span: leap years, century years, days before 1970, years before the first.
    void calendarFromMilliseconds() {
        const TOrvel_FormatSettings fs = PolishSettings();
        const TOrvel_DateTimeFormat format(QStringLiteral("yyyy-mm-dd dddd hh:nn:ss.zzz"), fs);
        const qint64 epoch = QDate(1970, 1, 1).toJulianDay();
        const qint64 msPerDay = 86400000;
        TOrvel_TextBuffer out;
        for (qint64 jd = QDate(-50, 1, 1).toJulianDay(); jd < QDate(2500, 1, 1).toJulianDay();
             jd += 97) {
            const QDate date = QDate::fromJulianDay(jd);
            const int msOfDay = static_cast<int>((jd * 7919) % msPerDay);
            const QTime time = QTime::fromMSecsSinceStartOfDay(msOfDay);
            out.Clear();
            format.AppendMSecs((jd - epoch) * msPerDay + msOfDay, out);
            // The year's digits padded as the display pattern pads them (a sign counts).
            QString year = QString::number(date.year());
            year.prepend(QString(std::max<qsizetype>(0, 4 - year.size()), u'0'));
            const QString expected = QStringLiteral("%1-%2-%3 %4 %5:%6:%7.%8")
                                         .arg(year)
                                         .arg(date.month(), 2, 10, QChar(u'0'))
                                         .arg(date.day(), 2, 10, QChar(u'0'))
                                         .arg(fs.LongDayNames.value(date.dayOfWeek() - 1))
                                         .arg(time.hour(), 2, 10, QChar(u'0'))
                                         .arg(time.minute(), 2, 10, QChar(u'0'))
                                         .arg(time.second(), 2, 10, QChar(u'0'))
                                         .arg(time.msec(), 3, 10, QChar(u'0'));
            QCOMPARE(out.ToString(), expected);
        }
        // A moment before 1970 that is not a whole day away from it.
        out.Clear();
        format.AppendMSecs(-1, out);
        QCOMPARE(out.ToString(), QStringLiteral("1969-12-31 środa 23:59:59.999"));
    }

    // Each field type reads its stored value its own way and shows it by its pattern.
    void fieldTypes_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QVariant>("value"); // qint64: AppendInt; double: AppendReal; else text
        QTest::addColumn<QString>("expected");
        const qint64 jan31 =
            (QDate(2024, 1, 31).toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400000;
        const qint64 afternoon = (13 * 3600 + 5 * 60 + 9) * 1000;
        auto row = [](const char *name, TFieldType type, const QString &pattern,
                      const QVariant &value, const QString &expected) {
            QTest::newRow(name) << int(type) << pattern << value << expected;
        };
        row("integer plain", TFieldType::ftInteger, {}, QVariant(qint64(-1234567)), "-1234567");
        row("integer grouped", TFieldType::ftInteger, "#,##0", QVariant(qint64(1234567)),
            "1 234 567");
        row("smallest 64-bit", TFieldType::ftLargeint, "0",
            QVariant(std::numeric_limits<qint64>::min()), "-9223372036854775808");
        row("boolean true", TFieldType::ftBoolean, {}, QVariant(qint64(1)), "tak");
        row("boolean false", TFieldType::ftBoolean, {}, QVariant(qint64(0)), "nie");
        row("date, empty pattern", TFieldType::ftDate, {}, QVariant(jan31), "31.01.2024");
        row("time, empty pattern", TFieldType::ftTime, {}, QVariant(afternoon), "13:05:09");
        row("date-time at midnight", TFieldType::ftDateTime, {}, QVariant(jan31), "31.01.2024");
        row("date-time with time", TFieldType::ftDateTime, {}, QVariant(jan31 + afternoon),
            "31.01.2024 13:05:09");
        row("date-time pattern", TFieldType::ftDateTime, "d mmmm yyyy, h:nn am/pm",
            QVariant(jan31 + afternoon), "31 styczeń 2024, 1:05 pm");
        row("float general", TFieldType::ftFloat, {}, QVariant(0.1), "0,1");
        row("currency pattern", TFieldType::ftCurrency, "#,##0.00 zł", QVariant(-1234.5),
            "-1 234,50 zł");
        row("decimal text", TFieldType::ftBCD, "0.00", QVariant(QStringLiteral("-0.005")), "-0,01");
        row("decimal general", TFieldType::ftBCD, {}, QVariant(QStringLiteral("12.50")), "12,5");
        row("text as it is", TFieldType::ftWideString, "0.00", QVariant(QStringLiteral(" zażółć ")),
            " zażółć ");
    }
    void fieldTypes() {
        QFETCH(int, type);
        QFETCH(QString, pattern);
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        const TOrvel_FieldFormat format(TFieldType(type), pattern, QStringLiteral("tak;nie"),
                                        PolishSettings());
        TOrvel_TextBuffer out;
        out.Append(u'>'); // appended after what the buffer holds
        if (value.typeId() == QMetaType::LongLong)
            format.AppendInt(value.toLongLong(), out);
        else if (value.typeId() == QMetaType::Double)
            format.AppendReal(value.toDouble(), out);
        else
            format.AppendText(value.toString(), out);
        QCOMPARE(out.ToString(), u'>' + expected);
    }

    // The texts of true and false come from the field's list; a missing one is empty.
    void booleanTexts() {
        const TOrvel_FieldFormat format(TFieldType::ftBoolean, {}, QStringLiteral("Prawda"),
                                        PolishSettings());
        TOrvel_TextBuffer out;
        format.AppendInt(5, out);
        QCOMPARE(out.ToString(), QStringLiteral("Prawda"));
        out.Clear();
        format.AppendInt(0, out);
        QCOMPARE(out.ToString(), QString());
    }

    // One compiled format serves values of every size; a long text spills out of the buffer's
    // own room and back.
    void bufferReuse() {
        const TOrvel_NumberFormat format(QStringLiteral("#,##0.00"), PolishSettings());
        TOrvel_TextBuffer out;
        const QString big = QStringLiteral("9").repeated(38);
        format.AppendDecimalText(big, out);
        QCOMPARE(out.Size(), 38 + 12 + 3);
        out.Clear();
        format.AppendDouble(2.675, out);
        QCOMPARE(out.ToString(), QStringLiteral("2,68"));
    }
};

int main(int argc, char **argv) {
    int status = 0;
    {
        NumberFormatTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        DateFormatTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        FieldFormatTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "test_formats.moc"
