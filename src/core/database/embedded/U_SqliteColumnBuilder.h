#pragma once
// The column builder: one column of a result as it is read from SQLite, its field kind decided by
// the declared type or, for expressions, by the values.
#include "U_DbResult.h"
#include "U_SqliteErrors.h"
#include "U_SqliteFunctions.h"
#include "U_SqliteValues.h"

#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace sqliteengine {

// One column of a result being read from SQLite. A declared column type decides the field kind;
// a value the type cannot hold turns the column into text rather than losing the value.
// Columns without a declared type (expressions) are kinded by their values at the end.
class ColumnBuilder {
public:
    ColumnBuilder(const QString &name, const char *declType) {
        FInfo.Name = name;
        FDeclared = declType && *declType && mapDeclared(QString::fromUtf8(declType));
        if (FDeclared)
            FColumn = std::make_unique<DbColumn>(FInfo);
    }

    void Add(sqlite3_stmt *stmt, int i) {
        const int type = sqlite3_column_type(stmt, i);
        if (!FDeclared) {
            FValues.push_back(sqlitefn::ColumnValue(stmt, i));
            return;
        }
        if (type == SQLITE_NULL) {
            FColumn->AppendNull();
            return;
        }
        const TFieldType ft = FColumn->Info().Type;
        switch (FieldKindOf(ft)) {
        case TFieldKind::fkNumeric:
            addNumeric(stmt, i, type, ft);
            return;
        case TFieldKind::fkBoolean:
            if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                FColumn->AppendInt(sqlite3_column_double(stmt, i) != 0 ? 1 : 0);
                return;
            }
            break;
        case TFieldKind::fkDateTime:
            if (type == SQLITE_TEXT) {
                const char *s = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
                const int n = sqlite3_column_bytes(stmt, i);
                std::int64_t ms = 0;
                bool hasTime = false;
                if (ft == TFieldType::ftTime ? parseStoredTime(s, n, ms)
                                             : parseStoredDateTime(s, n, ms, hasTime)) {
                    FColumn->AppendInt(ms);
                    return;
                }
            }
            break;
        default:
            appendText(stmt, i, type);
            return;
        }
        demoteToText();
        appendText(stmt, i, type);
    }

    // The column's type is known: declared, or given by a value that is not NULL.
    bool Typed() const {
        return FDeclared || std::any_of(FValues.begin(), FValues.end(),
                                        [](const QVariant &v) { return !v.isNull(); });
    }

    // The rows added so far, as Finish gives them, leaving the builder without rows: a column
    // without a declared type keeps the type its first block of values gave it (unless that
    // block held NULLs only), so that the blocks of one result agree as far as the values allow.
    DbColumn TakeBlock() {
        DbColumn block = Finish();
        bool onlyNulls = true;
        for (std::size_t r = 0; r < block.Size() && onlyNulls; ++r)
            onlyNulls = block.IsNull(r);
        if (FDeclared || !onlyNulls) {
            FDeclared = true;
            FInfo = block.Info();
            FColumn = std::make_unique<DbColumn>(FInfo);
        }
        FValues.clear();
        return block;
    }

    DbColumn Finish() {
        if (FDeclared) {
            if (FColumn->Info().Type == TFieldType::ftInteger &&
                (FMin < INT32_MIN || FMax > INT32_MAX)) {
                DbColumnInfo info = FColumn->Info();
                info.Type = TFieldType::ftLargeint;
                FColumn->SetInfo(info);
            }
            return std::move(*FColumn);
        }
        return finishByValues();
    }

private:
    bool mapDeclared(const QString &decl) {
        const QString d = decl.toUpper().simplified();
        const qsizetype paren = d.indexOf(QLatin1Char('('));
        const QString base = (paren < 0 ? d : d.left(paren)).trimmed();
        QList<int> args;
        if (paren >= 0) {
            const QString inside = d.mid(paren + 1).section(QLatin1Char(')'), 0, 0);
            for (const QString &a : inside.split(QLatin1Char(',')))
                args << a.trimmed().toInt();
        }
        auto &t = FInfo.Type;
        if (base == QLatin1String("BIGINT"))
            t = TFieldType::ftLargeint;
        else if (base == QLatin1String("SMALLINT"))
            t = TFieldType::ftSmallint;
        else if (base == QLatin1String("TINYINT"))
            t = TFieldType::ftWord;
        else if (base == QLatin1String("BIT") || base.startsWith(QLatin1String("BOOL")))
            t = TFieldType::ftBoolean;
        else if (base.contains(QLatin1String("INT")))
            t = TFieldType::ftInteger;
        else if (base == QLatin1String("DECIMAL") || base == QLatin1String("NUMERIC") ||
                 base == QLatin1String("DEC")) {
            t = TFieldType::ftBCD;
            FInfo.Precision = args.value(0, 18);
            FInfo.Scale = args.size() > 1 ? args[1] : (args.isEmpty() ? -1 : 0);
        } else if (base == QLatin1String("MONEY") || base == QLatin1String("SMALLMONEY")) {
            t = TFieldType::ftCurrency;
            FInfo.Precision = 19;
            FInfo.Scale = 4;
        } else if (base == QLatin1String("REAL") || base.startsWith(QLatin1String("FLOA")) ||
                   base.startsWith(QLatin1String("DOUB")))
            t = TFieldType::ftFloat;
        else if (base.startsWith(QLatin1String("DATETIME")) ||
                 base == QLatin1String("SMALLDATETIME") || base == QLatin1String("TIMESTAMP"))
            t = TFieldType::ftDateTime;
        else if (base == QLatin1String("DATE"))
            t = TFieldType::ftDate;
        else if (base == QLatin1String("TIME"))
            t = TFieldType::ftTime;
        else if (base == QLatin1String("UNIQUEIDENTIFIER"))
            t = TFieldType::ftGuid;
        else if (base == QLatin1String("CHAR") || base == QLatin1String("NCHAR"))
            t = TFieldType::ftFixedChar;
        else if (base == QLatin1String("VARCHAR"))
            t = TFieldType::ftString;
        else if (base == QLatin1String("NVARCHAR") || base == QLatin1String("TEXT") ||
                 base == QLatin1String("NTEXT") || base == QLatin1String("CLOB") ||
                 base.startsWith(QLatin1String("CHARACTER")) || base == QLatin1String("SYSNAME"))
            t = TFieldType::ftWideString;
        else if (base == QLatin1String("BLOB") || base.contains(QLatin1String("BINARY")) ||
                 base == QLatin1String("IMAGE"))
            t = TFieldType::ftBlob;
        else
            return false; // "NUM" (CREATE TABLE ... AS), "ANY", unknown names: kind by values
        if (FieldKindOf(t) == TFieldKind::fkText && !args.isEmpty())
            FInfo.Size = args[0];
        return true;
    }

    void addNumeric(sqlite3_stmt *stmt, int i, int type, TFieldType ft) {
        if (ft == TFieldType::ftBCD) {
            if (type == SQLITE_INTEGER && FInfo.Scale <= 100) {
                // The whole number, and as many zero decimals as the scale asks.
                char digits[128];
                char *end = std::to_chars(digits, digits + 24, sqlite3_column_int64(stmt, i)).ptr;
                const int zeros = FInfo.Scale;
                if (zeros > 0) {
                    *end++ = '.';
                    end = std::fill_n(end, zeros, '0');
                }
                FColumn->AppendAscii(std::string_view(digits, std::size_t(end - digits)));
                return;
            }
            if (type == SQLITE_INTEGER) {
                QString s = QString::number(sqlite3_column_int64(stmt, i));
                s += QLatin1Char('.') + QString(FInfo.Scale, QLatin1Char('0'));
                FColumn->AppendText(s);
                return;
            }
            if (type == SQLITE_FLOAT) {
                const double v = sqlite3_column_double(stmt, i);
                char digits[400];
                const int n = FInfo.Scale >= 0 && FInfo.Scale <= 60
                                  ? fixedDecimal(v, FInfo.Scale, digits, sizeof digits)
                                  : 0;
                if (n > 0)
                    FColumn->AppendAscii(std::string_view(digits, static_cast<std::size_t>(n)));
                else
                    FColumn->AppendText(decimalText(v, FInfo.Scale));
                return;
            }
            const QString s = sqlitefn::ColumnValue(stmt, i).toString();
            if (type == SQLITE_TEXT && isDecimalText(s)) {
                FColumn->AppendText(s.trimmed());
                return;
            }
            demoteToText();
            appendText(stmt, i, type);
            return;
        }
        if (ft == TFieldType::ftFloat || ft == TFieldType::ftCurrency) {
            if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                FColumn->AppendReal(sqlite3_column_double(stmt, i));
                return;
            }
            bool ok = false;
            const double d = sqlitefn::ColumnValue(stmt, i).toString().trimmed().toDouble(&ok);
            if (type == SQLITE_TEXT && ok) {
                FColumn->AppendReal(d);
                return;
            }
            demoteToText();
            appendText(stmt, i, type);
            return;
        }
        // Integers.
        qint64 v = 0;
        bool ok = type == SQLITE_INTEGER;
        if (ok) {
            v = sqlite3_column_int64(stmt, i);
        } else if (type == SQLITE_FLOAT) {
            const double d = sqlite3_column_double(stmt, i);
            ok = d == std::trunc(d) && std::fabs(d) < 9e18;
            v = static_cast<qint64>(d);
            if (!ok) {
                demoteToFloat();
                FColumn->AppendReal(d);
                return;
            }
        } else if (type == SQLITE_TEXT) {
            v = sqlitefn::ColumnValue(stmt, i).toString().trimmed().toLongLong(&ok);
        }
        if (!ok) {
            demoteToText();
            appendText(stmt, i, type);
            return;
        }
        FMin = std::min(FMin, v);
        FMax = std::max(FMax, v);
        FColumn->AppendInt(v);
    }

    void appendText(sqlite3_stmt *stmt, int i, int type) {
        if (type == SQLITE_NULL) {
            FColumn->AppendNull();
        } else if (type == SQLITE_INTEGER) {
            FColumn->AppendText(QString::number(sqlite3_column_int64(stmt, i)));
        } else if (type == SQLITE_FLOAT) {
            FColumn->AppendText(QString::number(sqlite3_column_double(stmt, i), 'g',
                                                QLocale::FloatingPointShortest));
        } else if (type == SQLITE_BLOB) {
            const QByteArray b(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                               sqlite3_column_bytes(stmt, i));
            FColumn->AppendText(QStringLiteral("0x") + QString::fromLatin1(b.toHex().toUpper()));
        } else {
            // Well-formed UTF-8 goes straight into the column; anything else is decoded by
            // the engine, as it always was.
            const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
            const int size = sqlite3_column_bytes(stmt, i);
            if (utf8 && FColumn->AppendUtf8(std::string_view(utf8, static_cast<std::size_t>(size))))
                return;
            const auto *s = static_cast<const char16_t *>(sqlite3_column_text16(stmt, i));
            const int bytes = sqlite3_column_bytes16(stmt, i);
            FColumn->AppendText(QStringView(s, bytes / 2));
        }
    }

    void rebuild(TFieldType type) {
        DbColumnInfo info = FColumn->Info();
        info.Type = type;
        if (DbColumn::SameStorage(type, FColumn->Info().Type) &&
            FieldKindOf(info.Type) == TFieldKind::fkText) {
            FColumn->SetInfo(info);
            return;
        }
        auto fresh = std::make_unique<DbColumn>(info);
        fresh->Reserve(FColumn->Size());
        for (std::size_t r = 0; r < FColumn->Size(); ++r) {
            if (FColumn->IsNull(r))
                fresh->AppendNull();
            else if (type == TFieldType::ftFloat)
                fresh->AppendReal(FColumn->Real(r));
            else
                fresh->AppendText(canonicalText(*FColumn, r));
        }
        FColumn = std::move(fresh);
    }
    void demoteToText() {
        if (FieldKindOf(FColumn->Info().Type) != TFieldKind::fkText)
            rebuild(TFieldType::ftWideString);
    }
    void demoteToFloat() { rebuild(TFieldType::ftFloat); }

    DbColumn finishByValues() {
        bool anyInt = false, anyReal = false, anyText = false, anyBlob = false;
        bool allDates = true, anyTime = false;
        qint64 lo = 0, hi = 0;
        for (const QVariant &v : FValues) {
            switch (v.typeId()) {
            case QMetaType::LongLong:
                lo = anyInt ? std::min(lo, v.toLongLong()) : v.toLongLong();
                hi = anyInt ? std::max(hi, v.toLongLong()) : v.toLongLong();
                anyInt = true;
                break;
            case QMetaType::Double:
                anyReal = true;
                break;
            case QMetaType::QString: {
                anyText = true;
                if (allDates) {
                    const QByteArray a = v.toString().toLatin1();
                    std::int64_t ms = 0;
                    bool hasTime = false;
                    allDates =
                        parseStoredDateTime(a.constData(), static_cast<int>(a.size()), ms, hasTime);
                    anyTime = anyTime || hasTime;
                }
                break;
            }
            case QMetaType::QByteArray:
                anyBlob = true;
                break;
            default:
                break;
            }
        }
        DbColumnInfo info = FInfo;
        if (anyBlob)
            info.Type = TFieldType::ftBytes;
        else if (anyText && !anyInt && !anyReal && allDates)
            info.Type = anyTime ? TFieldType::ftDateTime : TFieldType::ftDate;
        else if (anyText || (!anyInt && !anyReal))
            info.Type = TFieldType::ftWideString;
        else if (anyReal)
            info.Type = TFieldType::ftFloat;
        else
            info.Type =
                (lo < INT32_MIN || hi > INT32_MAX) ? TFieldType::ftLargeint : TFieldType::ftInteger;
        DbColumn column(info);
        column.Reserve(FValues.size());
        for (const QVariant &v : FValues) {
            if (v.isNull()) {
                column.AppendNull();
            } else if (info.Type == TFieldType::ftDate || info.Type == TFieldType::ftDateTime) {
                const QByteArray a = v.toString().toLatin1();
                std::int64_t ms = 0;
                bool hasTime = false;
                parseStoredDateTime(a.constData(), static_cast<int>(a.size()), ms, hasTime);
                column.AppendInt(ms);
            } else if (info.Type == TFieldType::ftBytes) {
                column.AppendText(v.typeId() == QMetaType::QByteArray
                                      ? QStringLiteral("0x") +
                                            QString::fromLatin1(v.toByteArray().toHex().toUpper())
                                      : v.toString());
            } else if (v.typeId() == QMetaType::Double && info.Type == TFieldType::ftWideString) {
                column.AppendText(
                    QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest));
            } else {
                column.AppendVariant(v);
            }
        }
        return column;
    }

    DbColumnInfo FInfo;
    bool FDeclared = false;
    std::unique_ptr<DbColumn> FColumn;
    std::vector<QVariant> FValues;
    qint64 FMin = 0, FMax = 0;
};

} // namespace sqliteengine
