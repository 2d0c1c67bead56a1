#pragma once
// SQL Server over ODBC (unixODBC): the FreeTDS driver, or Microsoft's driver when it is registered.
// Wide-character calls throughout; results are fetched in blocks of rows straight into the
// column-wise storage of DbResult.
#include "U_DbBackend.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// Provider codes of the login's error table and the codes given to the server's messages.
namespace OdbcCodes {
constexpr std::uint32_t DriverNotFound = 0x800A0E7A;
constexpr std::uint32_t ServerUnreachable = 0x80004005;
constexpr std::uint32_t LoginFailed = 0x80040E4D;
constexpr std::uint32_t AlreadyOpen = 0x800A0E79;
// Messages of statements: errors of the command (as OLE DB's DB_E_ERRORSINCOMMAND), query
// time-out (DB_E_ABORTLIMITREACHED), cancelled (DB_E_CANCELED); informational messages (PRINT,
// warnings) carry 0.
constexpr std::uint32_t CommandError = 0x80040E14;
constexpr std::uint32_t Timeout = 0x80040E31;
constexpr std::uint32_t Cancelled = 0x80040E4E;
constexpr std::uint32_t Information = 0x00000000;
} // namespace OdbcCodes

// One diagnostic record as SQLGetDiagRecW gives it.
struct OdbcDiagRecord {
    QString SqlState;
    std::int32_t NativeError = 0;
    QString Text;   // with the driver's bracketed prefix, e.g. "[FreeTDS][SQL Server]..."
    int Class = -1; // the server's severity when the driver reports it, else -1
    int State = -1;
    int Line = -1;
};

// Quotes a connection-string value in braces. The ODBC rule doubles every "}"; FreeTDS reads a
// braced value literally up to the first "};" (or the closing brace at the end), so for it the
// value goes in as it is, and a value containing "};" cannot be carried at all.
QString OdbcQuote(const QString &value, bool freeTds);
bool OdbcCanCarry(const QString &value, bool freeTds);
bool IsFreeTdsDriver(const QString &driver);
// The driver to use among the registered ones: Microsoft's 18, then 17, else FreeTDS.
QString ChooseOdbcDriver(const QStringList &registeredDrivers);
// The connection string for the login's choices and the given driver.
QString BuildOdbcConnectionString(const TOrvel_ConnectionSettings &settings, const QString &driver);

// The provider code of a failed open, from the diagnostic records of the connection; `decisive`
// receives the index of the record that chose the code (the first record for other codes).
std::uint32_t MapOdbcOpenError(const QList<OdbcDiagRecord> &records, int *decisive = nullptr);
// Whether the server answered before the open failed, from the diagnostic records: false when
// no connection was made (unreachable, time-out, no driver).
bool OdbcServerAnswered(const QList<OdbcDiagRecord> &records);
// A diagnostic record as one of the connection's provider messages.
TOrvel_ProviderMessage OdbcProviderMessage(const OdbcDiagRecord &record);
// Splits "[FreeTDS][SQL Server]Text" into the bracketed prefix and the text.
void SplitOdbcMessage(const QString &text, QString *source, QString *description);

// The field type of a result column from its ODBC description. typeName is the server's type
// name (SQL_DESC_TYPE_NAME); money and decimal map alike, to the exact decimal.
TFieldType MapOdbcType(int sqlType, std::uint64_t columnSize, int decimalDigits,
                       const QString &typeName, bool autoIncrement = false);

// The backend of SQL Server over ODBC.
std::unique_ptr<DbBackend> CreateOdbcBackend();
