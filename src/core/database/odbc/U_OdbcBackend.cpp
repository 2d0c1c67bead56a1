#include "U_OdbcBackend.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <QDate>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

// SQL Server's own column types and diagnostic fields (Microsoft's msodbcsql.h; FreeTDS uses the
// same numbers). unixODBC ships no header with them.
namespace {
constexpr SQLSMALLINT SQL_SS_VARIANT_ = -150;
constexpr SQLSMALLINT SQL_SS_XML_ = -152;
constexpr SQLSMALLINT SQL_SS_TIME2_ = -154;
constexpr SQLSMALLINT SQL_SS_TIMESTAMPOFFSET_ = -155;
constexpr SQLSMALLINT SQL_DIAG_SS_MSGSTATE_ = -1150;
constexpr SQLSMALLINT SQL_DIAG_SS_SEVERITY_ = -1151;
constexpr SQLSMALLINT SQL_DIAG_SS_LINE_ = -1154;

const QString kFreeTds = QStringLiteral("FreeTDS");
const QString kMsDriver18 = QStringLiteral("ODBC Driver 18 for SQL Server");
const QString kMsDriver17 = QStringLiteral("ODBC Driver 17 for SQL Server");
const QString kCannotCarry = QStringLiteral("Sterownik FreeTDS nie przyjmuje znaków \"};\" w %1.");

SQLWCHAR *Wide(const QString &text) {
    // unixODBC's SQLWCHAR is a 16-bit UTF-16 unit, as QChar is.
    static_assert(sizeof(SQLWCHAR) == sizeof(QChar));
    return reinterpret_cast<SQLWCHAR *>(const_cast<QChar *>(text.constData()));
}

QString FromWide(const SQLWCHAR *text, qsizetype length) {
    return QString(reinterpret_cast<const QChar *>(text), length);
}

// Owns one ODBC handle of the given type.
template <SQLSMALLINT Type> class OdbcHandle {
public:
    OdbcHandle() = default;
    ~OdbcHandle() { Reset(); }
    OdbcHandle(const OdbcHandle &) = delete;
    OdbcHandle &operator=(const OdbcHandle &) = delete;
    OdbcHandle(OdbcHandle &&other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}

    bool Allocate(SQLHANDLE parent) {
        Reset();
        return SQL_SUCCEEDED(SQLAllocHandle(Type, parent, &FHandle));
    }
    void Reset() {
        if (FHandle) {
            SQLFreeHandle(Type, FHandle);
            FHandle = nullptr;
        }
    }
    SQLHANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }

private:
    SQLHANDLE FHandle = nullptr;
};

using EnvHandle = OdbcHandle<SQL_HANDLE_ENV>;
using DbcHandle = OdbcHandle<SQL_HANDLE_DBC>;
using StmtHandle = OdbcHandle<SQL_HANDLE_STMT>;

int DiagInt(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field) {
    SQLINTEGER value = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagFieldW(type, handle, record, field, &value, 0, nullptr)))
        return -1;
    return value;
}

QList<OdbcDiagRecord> DiagRecords(SQLSMALLINT type, SQLHANDLE handle) {
    QList<OdbcDiagRecord> records;
    if (!handle)
        return records;
    std::vector<SQLWCHAR> text(1024);
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(),
                                      static_cast<SQLSMALLINT>(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
            text.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(),
                                static_cast<SQLSMALLINT>(text.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        OdbcDiagRecord record;
        record.SqlState = FromWide(state, 5);
        record.NativeError = native;
        record.Text = FromWide(text.data(), std::min<qsizetype>(length, text.size() - 1));
        record.Class = DiagInt(type, handle, i, SQL_DIAG_SS_SEVERITY_);
        record.State = DiagInt(type, handle, i, SQL_DIAG_SS_MSGSTATE_);
        record.Line = DiagInt(type, handle, i, SQL_DIAG_SS_LINE_);
        records.append(record);
    }
    return records;
}

bool IsInformation(const OdbcDiagRecord &record) {
    return record.SqlState.startsWith(QLatin1String("01"));
}

// ---- Days and milliseconds of the wall-clock representation (1970-01-01T00:00 = 0) ----

std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t TimestampMSecs(const SQL_TIMESTAMP_STRUCT &t) {
    return DaysFromCivil(t.year, t.month, t.day) * 86400000LL + t.hour * 3600000LL +
           t.minute * 60000LL + t.second * 1000LL + t.fraction / 1000000;
}

// "hh:mm:ss[.fffffff]" as milliseconds of the day; -1 when it is not a time.
std::int64_t TimeTextMSecs(QStringView text) {
    const QTime time = QTime::fromString(text.left(12).toString(), QStringLiteral("HH:mm:ss.zzz"));
    if (time.isValid())
        return time.msecsSinceStartOfDay();
    const QTime whole = QTime::fromString(text.left(8).toString(), QStringLiteral("HH:mm:ss"));
    return whole.isValid() ? whole.msecsSinceStartOfDay() : -1;
}

// How a column's values travel from the driver into the column storage.
enum class Fetch { Int, Bit, Real, Text, Decimal, Timestamp, Time, Long };

Fetch FetchOf(TFieldType type) {
    switch (type) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
        return Fetch::Int;
    case TFieldType::ftBoolean:
        return Fetch::Bit;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
        return Fetch::Real;
    case TFieldType::ftBCD:
        return Fetch::Decimal;
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
    case TFieldType::ftWideString:
    case TFieldType::ftGuid:
        return Fetch::Text;
    case TFieldType::ftDate:
    case TFieldType::ftDateTime:
        return Fetch::Timestamp;
    case TFieldType::ftTime:
        return Fetch::Time;
    default:
        return Fetch::Long;
    }
}

SQLSMALLINT CTypeOf(Fetch fetch) {
    switch (fetch) {
    case Fetch::Int:
        return SQL_C_SBIGINT;
    case Fetch::Bit:
        return SQL_C_BIT;
    case Fetch::Real:
        return SQL_C_DOUBLE;
    case Fetch::Timestamp:
        return SQL_C_TYPE_TIMESTAMP;
    default:
        return SQL_C_WCHAR;
    }
}

// Characters a text buffer needs for one value of the column.
std::size_t TextChars(Fetch fetch, const DbColumnInfo &info) {
    switch (fetch) {
    case Fetch::Decimal:
        return static_cast<std::size_t>(std::max(info.Precision, 1)) + 3; // sign, point, "0"
    case Fetch::Time:
        return 32;
    default:
        return info.Type == TFieldType::ftGuid ? 40 : static_cast<std::size_t>(info.Size) + 1;
    }
}

std::size_t ElementBytes(Fetch fetch, const DbColumnInfo &info) {
    switch (fetch) {
    case Fetch::Int:
        return sizeof(SQLBIGINT);
    case Fetch::Bit:
        return sizeof(SQLCHAR);
    case Fetch::Real:
        return sizeof(SQLDOUBLE);
    case Fetch::Timestamp:
        return sizeof(SQL_TIMESTAMP_STRUCT);
    default:
        return TextChars(fetch, info) * sizeof(SQLWCHAR);
    }
}

// Decimal text as the driver gives it may lack the leading zero (".5"); the stored text has it.
void AppendDecimal(DbColumn &column, const char16_t *text, std::size_t length) {
    if (length > 0 && text[0] == u'.') {
        std::u16string fixed = u"0";
        fixed.append(text, length);
        column.AppendText(fixed);
    } else if (length > 1 && text[0] == u'-' && text[1] == u'.') {
        std::u16string fixed = u"-0";
        fixed.append(text + 1, length - 1);
        column.AppendText(fixed);
    } else {
        column.AppendText(QStringView(text, static_cast<qsizetype>(length)));
    }
}

void AppendTextValue(DbColumn &column, Fetch fetch, const char16_t *text, std::size_t length) {
    switch (fetch) {
    case Fetch::Decimal:
        AppendDecimal(column, text, length);
        break;
    case Fetch::Time: {
        const std::int64_t msecs = TimeTextMSecs(QStringView(text, static_cast<qsizetype>(length)));
        if (msecs < 0)
            column.AppendNull();
        else
            column.AppendInt(msecs);
        break;
    }
    default:
        column.AppendText(QStringView(text, static_cast<qsizetype>(length)));
    }
}

// One column's block buffer.
struct BoundColumn {
    Fetch fetch = Fetch::Text;
    std::size_t elementBytes = 0;
    std::vector<char> data;
    std::vector<SQLLEN> indicators;
};

// Whether a system call is one a thread waits for its sockets in.
bool IsSocketWait(long number) {
#ifdef SYS_poll
    if (number == SYS_poll || number == SYS_select)
        return true;
#endif
    return number == SYS_ppoll || number == SYS_pselect6;
}

// Stops the running statement on behalf of another thread without racing the driver.
//
// FreeTDS's SQLCancel, when it comes while the batch's thread is inside the driver but not
// waiting on the socket (working through a packet of rows), sends the ATTENTION on the calling
// thread. The batch's thread, reaching for its next packet meanwhile, then waits for a wake-up
// that never comes: the server's acknowledgement lies unread until the command time-out closes
// the connection, minutes later, and the next run finds it closed. So a cancel is carried out by
// the batch's own thread wherever it can be: the batch stops before its next driver call, and
// freeing the statement makes the driver send the ATTENTION and read its acknowledgement on that
// thread. SQLCancel from a thread of this class goes only to a driver call that has waited for
// a while, and only once the batch's thread has slept in one socket wait of the driver for a
// moment (the server is quiet): there SQLCancel only wakes it, and it sends the ATTENTION itself.
// The call is repeated while that wait lasts, for a cancel that met a call before the driver had
// sent its request.
class OdbcStatementCancel {
public:
    explicit OdbcStatementCancel(std::function<bool()> requested)
        : FRequested(std::move(requested)) {}
    ~OdbcStatementCancel() { End(); }
    OdbcStatementCancel(const OdbcStatementCancel &) = delete;
    OdbcStatementCancel &operator=(const OdbcStatementCancel &) = delete;

    // The statement of the batch that starts; false when a cancel came first.
    bool Begin(SQLHSTMT stmt) {
        std::lock_guard lock(FLock);
        if (FRequested())
            return false;
        FStmt = stmt;
        FThread = static_cast<pid_t>(::syscall(SYS_gettid));
        return true;
    }
    // No cancel reaches the statement after this, so it can be freed.
    void End() {
        {
            std::unique_lock lock(FLock);
            FStmt = nullptr;
            FChanged.notify_all();
            FChanged.wait(lock, [this] { return !FSending; });
        }
        if (FSender.joinable())
            FSender.join();
    }
    // Runs one stretch of driver calls that may wait for the server; false, without running it,
    // once a cancel has been asked for.
    template <class Calls> bool Wait(Calls &&calls) {
        {
            std::lock_guard lock(FLock);
            if (FRequested())
                return false;
            FWaiting = true;
            FWaitStart = std::chrono::steady_clock::now();
        }
        calls();
        std::lock_guard lock(FLock);
        FWaiting = false;
        FChanged.notify_all();
        return true;
    }
    // Whether the driver is FreeTDS, whose SQLCancel needs the moment chosen; another driver's
    // SQLCancel goes out once a call has waited.
    void SetFreeTds(bool freeTds) {
        std::lock_guard lock(FLock);
        FFreeTds = freeTds;
    }
    // Called after the request is set, from any thread; never waits for the driver.
    void Request() {
        std::lock_guard lock(FLock);
        if (!FStmt || !FWaiting || FSender.joinable())
            return;
        FSender = std::thread([this] { SendWhileWaiting(); });
    }

private:
    // Long enough for a driver call that only works through rows at hand to return; short enough
    // for a user waiting for the stop.
    static constexpr std::chrono::milliseconds kPatience{200};

    // How often the batch's thread is looked at while it works inside a long driver call, and
    // how long it may be seen working before SQLCancel goes out all the same: a thread that is
    // never seen waiting would otherwise never be stopped.
    static constexpr std::chrono::milliseconds kLookAgain{1};
    static constexpr std::chrono::milliseconds kQuiet{20};
    static constexpr std::chrono::seconds kLookAtMost{5};

    // What the batch's thread is doing, as the system shows it.
    struct ThreadLook {
        bool Known = false;      // false where the system cannot tell
        bool SocketWait = false; // asleep in poll or select, as the driver waits for its socket
        long SleepsSoFar = -1;   // how often it has gone to sleep
    };
    static ThreadLook LookAt(pid_t thread) {
        ThreadLook look;
        char path[64];
        char text[2048];
        std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", static_cast<int>(thread));
        if (!ReadText(path, text, sizeof text))
            return look;
        // "running", or the number of the system call the thread is blocked in.
        look.SocketWait =
            text[0] >= '0' && text[0] <= '9' && IsSocketWait(std::strtol(text, nullptr, 10));
        std::snprintf(path, sizeof path, "/proc/self/task/%d/status", static_cast<int>(thread));
        if (!ReadText(path, text, sizeof text))
            return look;
        const char *line = std::strstr(text, "voluntary_ctxt_switches:");
        if (!line)
            return look;
        look.SleepsSoFar = std::strtol(line + std::strlen("voluntary_ctxt_switches:"), nullptr, 10);
        look.Known = true;
        return look;
    }
    static bool ReadText(const char *path, char *text, std::size_t size) {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const ssize_t got = ::read(fd, text, size - 1);
        ::close(fd);
        if (got <= 0)
            return false;
        text[got] = '\0';
        return true;
    }

    void SendWhileWaiting() {
        std::unique_lock lock(FLock);
        auto due = FWaitStart + kPatience;
        const auto lookedAtMost = std::chrono::steady_clock::now() + kLookAtMost;
        long sleepsBefore = -1; // of a socket wait seen on the last look
        // No new wait begins after the request: the one under way is the last.
        while (FStmt && FWaiting) {
            if (FChanged.wait_until(lock, due, [this] { return !FStmt || !FWaiting; }))
                break;
            if (FFreeTds && std::chrono::steady_clock::now() < lookedAtMost) {
                // The moment: the thread has slept in one socket wait since the last look, so
                // the server is quiet and no packet is about to pull the thread out of it.
                const ThreadLook look = LookAt(FThread);
                const bool quiet = !look.Known || (look.SocketWait && sleepsBefore >= 0 &&
                                                   look.SleepsSoFar == sleepsBefore);
                if (!quiet) {
                    sleepsBefore = look.SocketWait ? look.SleepsSoFar : -1;
                    due =
                        std::chrono::steady_clock::now() + (look.SocketWait ? kQuiet : kLookAgain);
                    continue;
                }
            }
            SQLHSTMT stmt = FStmt;
            FSending = true;
            lock.unlock();
            SQLCancel(stmt);
            lock.lock();
            FSending = false;
            FChanged.notify_all();
            sleepsBefore = -1;
            due = std::chrono::steady_clock::now() + kPatience;
        }
    }

    std::function<bool()> FRequested;
    std::mutex FLock;
    std::condition_variable FChanged;
    SQLHSTMT FStmt = nullptr;
    bool FWaiting = false;
    std::chrono::steady_clock::time_point FWaitStart;
    pid_t FThread = 0; // the batch's thread
    bool FFreeTds = true;
    bool FSending = false; // SQLCancel is under way: the statement must stay
    std::thread FSender;
};

constexpr std::size_t kBlockBytes = 8u << 20; // buffer budget of one block of rows
constexpr std::size_t kMaxBlockRows = 4096;

class OdbcBackend final : public DbBackend {
public:
    ~OdbcBackend() override { Close(); }
    void Open(const TOrvel_ConnectionSettings &settings) override;
    void Close() override;
    bool IsConnected() const override;

protected:
    DbBatchOutcome RunBatch(const QString &sql, int timeoutSeconds, bool firstResultOnly,
                            DbRowSink *sink) override;
    void InterruptBatch() override;

public:
    void Sever() override;

private:
    QStringList RegisteredDrivers() const;
    std::shared_ptr<DbResult> ReadResult(SQLHSTMT stmt, int columns, DbBatchOutcome &outcome);
    bool FetchBlocks(SQLHSTMT stmt, DbResult &result, const std::vector<Fetch> &fetches,
                     DbBatchOutcome &outcome);
    bool FetchRows(SQLHSTMT stmt, DbResult &result, const std::vector<Fetch> &fetches,
                   DbBatchOutcome &outcome);
    enum class RowRead { Row, End, Failed };
    // One row read with SQLFetch and SQLGetData, its values appended to the result.
    RowRead ReadRow(SQLHSTMT stmt, DbResult &result, const std::vector<Fetch> &fetches,
                    DbBatchOutcome &outcome, std::u16string &text);
    bool AddDiagnostics(SQLHSTMT stmt, DbBatchOutcome &outcome);
    // Hands the rows read so far to the sink once they fill a block.
    void HandOff(DbResult &result);

    EnvHandle FEnv;
    DbRowSink *FSink = nullptr; // takes the rows of the result being read, during one batch
    DbcHandle FDbc;
    bool FConnected = false;
    OdbcStatementCancel FCancel{[this] { return CancelRequested(); }};
    // The driver's socket, when it could be told apart: shutting it down ends a call that waits
    // for a server that no longer answers. ODBC offers no way to reach it.
    int FSocket = -1;
};

int LocalPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    return -1;
}

// This process's open TCP stream sockets, each with the inode that names it; `listening`
// receives the local ports this process listens on.
QList<QPair<int, quint64>> TcpSockets(QList<int> *listening = nullptr) {
    QList<QPair<int, quint64>> sockets;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::System | QDir::AllEntries);
    for (const QString &name : fds) {
        bool ok = false;
        const int fd = name.toInt(&ok);
        struct stat st {};
        if (!ok || ::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        int type = 0;
        socklen_t typeLength = sizeof type;
        const int port = LocalPort(fd);
        if (port < 0 || ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 ||
            type != SOCK_STREAM)
            continue;
        int accepting = 0;
        socklen_t acceptingLength = sizeof accepting;
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &acceptingLength) == 0 &&
            accepting) {
            if (listening)
                listening->append(port);
            continue;
        }
        sockets.append({fd, static_cast<quint64>(st.st_ino)});
    }
    return sockets;
}

// The socket the driver opened for a new connection: the one new TCP socket of the process. A
// server in this same process (the tests') accepts its peer meanwhile; that one is passed over.
int NewClientSocket(const QList<QPair<int, quint64>> &before) {
    QList<int> listening;
    QList<QPair<int, quint64>> added = TcpSockets(&listening);
    added.removeIf([&](const QPair<int, quint64> &s) {
        return before.contains(s) || listening.contains(LocalPort(s.first));
    });
    return added.size() == 1 ? added.front().first : -1;
}

void OdbcBackend::Sever() {
    if (FSocket >= 0)
        ::shutdown(FSocket, SHUT_RDWR);
}

void OdbcBackend::InterruptBatch() {
    FCancel.Request();
}

QStringList OdbcBackend::RegisteredDrivers() const {
    QStringList drivers;
    SQLWCHAR name[512];
    SQLWCHAR attributes[2048];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDriversW(FEnv.Get(), direction, name, 512, &nameLength, attributes,
                                     2048, &attributesLength))) {
        drivers.append(FromWide(name, std::min<SQLSMALLINT>(nameLength, 511)));
        direction = SQL_FETCH_NEXT;
    }
    return drivers;
}

void OdbcBackend::Open(const TOrvel_ConnectionSettings &settings) {
    if (FConnected)
        throw EDbProviderError(OdbcCodes::AlreadyOpen,
                               QStringLiteral("Operacja nie jest dozwolona, gdy obiekt jest "
                                              "otwarty."));
    if (!FEnv.Allocate(SQL_NULL_HANDLE) ||
        !SQL_SUCCEEDED(SQLSetEnvAttr(FEnv.Get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
        throw EDbProviderError(OdbcCodes::DriverNotFound,
                               QStringLiteral("Menedżer sterowników ODBC jest niedostępny."));
    if (!FDbc.Allocate(FEnv.Get()))
        throw EDbProviderError(OdbcCodes::DriverNotFound,
                               QStringLiteral("Menedżer sterowników ODBC jest niedostępny."));
    SQLSetConnectAttrW(FDbc.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(settings.LoginTimeout)),
                       0);

    const QString driver = ChooseOdbcDriver(RegisteredDrivers());
    // FreeTDS ends a braced value at the first "};" and has no escape for it: such a value would
    // be cut short and its rest read as further keywords, so it is refused before connecting.
    const bool freeTds = IsFreeTdsDriver(driver);
    if (!OdbcCanCarry(settings.Server, freeTds) || !OdbcCanCarry(settings.ServerSPN, freeTds))
        throw EDbProviderError(OdbcCodes::ServerUnreachable,
                               kCannotCarry.arg(QStringLiteral("nazwie serwera")));
    if (!OdbcCanCarry(settings.User, freeTds) || !OdbcCanCarry(settings.Password, freeTds))
        throw EDbProviderError(OdbcCodes::LoginFailed,
                               kCannotCarry.arg(QStringLiteral("nazwie użytkownika ani w haśle")));
    FCancel.SetFreeTds(freeTds);
    const QString connectionString = BuildOdbcConnectionString(settings, driver);
    SQLWCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    const QList<QPair<int, quint64>> socketsBefore = TcpSockets();
    const SQLRETURN rc = SQLDriverConnectW(FDbc.Get(), nullptr, Wide(connectionString), SQL_NTS,
                                           completed, 1024, &completedLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        QList<OdbcDiagRecord> records = DiagRecords(SQL_HANDLE_DBC, FDbc.Get());
        FDbc.Reset();
        FEnv.Reset();
        int decisive = 0;
        const std::uint32_t code = MapOdbcOpenError(records, &decisive);
        const QString message = records.isEmpty() ? QStringLiteral("Nie można nawiązać połączenia.")
                                                  : records[decisive].Text;
        const std::int32_t native = records.isEmpty() ? 0 : records[decisive].NativeError;
        throw EDbProviderError(code, message, native, OdbcServerAnswered(records));
    }
    FSocket = NewClientSocket(socketsBefore);
    FConnected = true;
}

void OdbcBackend::Close() {
    if (FConnected)
        SQLDisconnect(FDbc.Get());
    FConnected = false;
    FSocket = -1;
    FDbc.Reset();
    FEnv.Reset();
}

bool OdbcBackend::IsConnected() const {
    if (!FConnected)
        return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (SQL_SUCCEEDED(SQLGetConnectAttrW(FDbc.Get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)))
        return dead != SQL_CD_TRUE;
    return true;
}

// Adds the statement's diagnostic records as messages; returns whether one of them is an error.
// The driver's truncation warnings are not the server's messages and are left out.
bool OdbcBackend::AddDiagnostics(SQLHSTMT stmt, DbBatchOutcome &outcome) {
    bool error = false;
    for (const OdbcDiagRecord &record : DiagRecords(SQL_HANDLE_STMT, stmt)) {
        if (record.SqlState == QLatin1String("01004"))
            continue;
        DbBatchItem item;
        item.kind = DbBatchItem::Kind::Message;
        item.message = OdbcProviderMessage(record);
        if (!IsInformation(record)) {
            error = true;
            if (!outcome.Failed) {
                outcome.Failed = true;
                outcome.ErrorCode = item.message.Number;
                outcome.ErrorMessage = record.Text;
            }
        }
        outcome.Items.push_back(std::move(item));
    }
    return error;
}

DbBatchOutcome OdbcBackend::RunBatch(const QString &sql, int timeoutSeconds, bool firstResultOnly,
                                     DbRowSink *sink) {
    DbBatchOutcome outcome;
    struct SinkScope {
        DbRowSink *&held;
        ~SinkScope() { held = nullptr; }
    } sinkScope{FSink};
    FSink = sink;
    StmtHandle stmt;
    if (!FConnected || !stmt.Allocate(FDbc.Get())) {
        outcome.Failed = true;
        outcome.ErrorCode = 0x800A0E78;
        outcome.ErrorMessage =
            QStringLiteral("Operacja nie jest dozwolona, gdy obiekt jest zamknięty.");
        return outcome;
    }
    SQLSetStmtAttrW(stmt.Get(), SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(timeoutSeconds, 0))),
                    0);
    if (!FCancel.Begin(stmt.Get()))
        return outcome;
    // The statement is freed (and any unread rest of the batch cancelled by the driver, on this
    // thread) after a cancel can no longer reach it.
    struct Ended {
        OdbcStatementCancel &cancel;
        ~Ended() { cancel.End(); }
    } ended{FCancel};

    SQLRETURN rc = SQL_ERROR;
    if (!FCancel.Wait([&] {
            rc = SQLExecDirectW(stmt.Get(), Wide(sql), static_cast<SQLINTEGER>(sql.size()));
        }))
        return outcome;
    bool first = true;
    for (;;) {
        if (CancelRequested())
            break;
        const bool hadErrorRecords =
            (rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR || (first && rc == SQL_NO_DATA)) &&
            AddDiagnostics(stmt.Get(), outcome);
        if (rc == SQL_ERROR) {
            if (!outcome.Failed) {
                outcome.Failed = true;
                outcome.ErrorCode = OdbcCodes::CommandError;
                outcome.ErrorMessage = QStringLiteral("Błąd wykonania zapytania.");
            }
            if (!hadErrorRecords)
                break; // nothing new came back: the driver cannot go on
        } else if (SQL_SUCCEEDED(rc) || (first && rc == SQL_NO_DATA)) {
            SQLSMALLINT columns = 0;
            if (rc != SQL_NO_DATA)
                SQLNumResultCols(stmt.Get(), &columns);
            if (columns > 0) {
                std::shared_ptr<DbResult> rows = ReadResult(stmt.Get(), columns, outcome);
                if (!rows)
                    break;
                FSink = nullptr; // only the first result goes to it
                DbBatchItem item;
                item.kind = DbBatchItem::Kind::Rows;
                item.rows = std::move(rows);
                outcome.Items.push_back(std::move(item));
                if (firstResultOnly)
                    break;
            } else {
                SQLLEN count = -1;
                if (rc != SQL_NO_DATA)
                    SQLRowCount(stmt.Get(), &count);
                else
                    count = 0;
                // A result that only carried messages (PRINT before a SELECT) is no statement.
                const bool onlyMessages = count < 0 && rc == SQL_SUCCESS_WITH_INFO;
                if (!onlyMessages) {
                    DbBatchItem item;
                    item.kind = DbBatchItem::Kind::Count;
                    item.count = count;
                    outcome.Items.push_back(std::move(item));
                }
            }
        } else {
            break;
        }
        first = false;
        if (!FCancel.Wait([&] { rc = SQLMoreResults(stmt.Get()); }) || rc == SQL_NO_DATA)
            break;
    }
    return outcome;
}

std::shared_ptr<DbResult> OdbcBackend::ReadResult(SQLHSTMT stmt, int columns,
                                                  DbBatchOutcome &outcome) {
    std::vector<DbColumnInfo> infos;
    std::vector<Fetch> fetches;
    bool anyLong = false;
    for (SQLUSMALLINT i = 1; i <= columns; ++i) {
        SQLWCHAR name[512];
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT sqlType = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        SQLDescribeColW(stmt, i, name, 512, &nameLength, &sqlType, &size, &digits, &nullable);
        SQLWCHAR typeName[128];
        SQLSMALLINT typeNameBytes = 0;
        if (!SQL_SUCCEEDED(SQLColAttributeW(stmt, i, SQL_DESC_TYPE_NAME, typeName, sizeof(typeName),
                                            &typeNameBytes, nullptr)))
            typeNameBytes = 0;
        SQLLEN autoIncrement = SQL_FALSE;
        SQLColAttributeW(stmt, i, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &autoIncrement);

        DbColumnInfo info;
        info.Name = FromWide(name, std::min<SQLSMALLINT>(nameLength, 511));
        info.Type = MapOdbcType(sqlType, size, digits,
                                FromWide(typeName, std::min<qsizetype>(typeNameBytes / 2, 127)),
                                autoIncrement == SQL_TRUE);
        info.Nullable = nullable != SQL_NO_NULLS;
        if (FieldKindOf(info.Type) == TFieldKind::fkText)
            info.Size = static_cast<int>(std::min<SQLULEN>(size, 1u << 30));
        if (info.Type == TFieldType::ftBCD) {
            info.Precision = static_cast<int>(std::min<SQLULEN>(size, 38));
            info.Scale = digits;
        }
        const Fetch fetch = FetchOf(info.Type);
        anyLong = anyLong || fetch == Fetch::Long;
        infos.push_back(info);
        fetches.push_back(fetch);
    }
    auto result = std::make_shared<DbResult>(infos);
    // Long values cannot be bound in blocks: such results are read row by row.
    const bool complete = anyLong ? FetchRows(stmt, *result, fetches, outcome)
                                  : FetchBlocks(stmt, *result, fetches, outcome);
    return complete ? result : nullptr;
}

bool OdbcBackend::FetchBlocks(SQLHSTMT stmt, DbResult &result, const std::vector<Fetch> &fetches,
                              DbBatchOutcome &outcome) {
    const std::size_t columns = fetches.size();
    std::vector<BoundColumn> bound(columns);
    std::size_t rowBytes = 0;
    for (std::size_t c = 0; c < columns; ++c) {
        bound[c].fetch = fetches[c];
        bound[c].elementBytes = ElementBytes(fetches[c], result.Column(static_cast<int>(c)).Info());
        rowBytes += bound[c].elementBytes + sizeof(SQLLEN);
    }
    const std::size_t blockRows = std::clamp<std::size_t>(kBlockBytes / rowBytes, 1, kMaxBlockRows);
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(blockRows);
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN),
                    0);
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(blockRows), 0);
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0);
    for (std::size_t c = 0; c < columns; ++c) {
        bound[c].data.resize(blockRows * bound[c].elementBytes);
        bound[c].indicators.resize(blockRows);
        SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1), CTypeOf(bound[c].fetch),
                   bound[c].data.data(), static_cast<SQLLEN>(bound[c].elementBytes),
                   bound[c].indicators.data());
    }

    bool ok = true;
    for (;;) {
        SQLRETURN rc = SQL_ERROR;
        if (!FCancel.Wait([&] { rc = SQLFetch(stmt); })) {
            ok = false;
            break;
        }
        if (rc == SQL_NO_DATA)
            break;
        if (rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR)
            AddDiagnostics(stmt, outcome);
        if (rc == SQL_ERROR) {
            ok = false;
            break;
        }
        for (std::size_t c = 0; c < columns; ++c) {
            BoundColumn &b = bound[c];
            DbColumn &column = result.Column(static_cast<int>(c));
            for (SQLULEN r = 0; r < fetched; ++r) {
                if (status[r] == SQL_ROW_ERROR || status[r] == SQL_ROW_NOROW)
                    continue;
                const SQLLEN indicator = b.indicators[r];
                const char *value = b.data.data() + r * b.elementBytes;
                if (indicator == SQL_NULL_DATA) {
                    column.AppendNull();
                    continue;
                }
                switch (b.fetch) {
                case Fetch::Int: {
                    SQLBIGINT v;
                    std::memcpy(&v, value, sizeof v);
                    column.AppendInt(v);
                    break;
                }
                case Fetch::Bit:
                    column.AppendInt(*value != 0 ? 1 : 0);
                    break;
                case Fetch::Real: {
                    SQLDOUBLE v;
                    std::memcpy(&v, value, sizeof v);
                    column.AppendReal(v);
                    break;
                }
                case Fetch::Timestamp: {
                    SQL_TIMESTAMP_STRUCT t;
                    std::memcpy(&t, value, sizeof t);
                    column.AppendInt(TimestampMSecs(t));
                    break;
                }
                default: {
                    // A value longer than the buffer (SQL_NO_TOTAL or truncated) keeps what fits.
                    const std::size_t capacity = b.elementBytes / sizeof(SQLWCHAR) - 1;
                    std::size_t length = indicator == SQL_NO_TOTAL
                                             ? capacity
                                             : static_cast<std::size_t>(indicator) / 2;
                    length = std::min(length, capacity);
                    AppendTextValue(column, b.fetch, reinterpret_cast<const char16_t *>(value),
                                    length);
                }
                }
            }
        }
        CountFetchedRows(static_cast<qint64>(fetched));
        HandOff(result);
    }
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    return ok;
}

// The most characters one value may hold: what SQL Server's largest values (2 GB) can carry.
constexpr std::size_t kMaxValueChars = std::size_t(1) << 30;

// Reads a text value in pieces with SQLGetData; false with the value NULL. The reading ends with
// the read that brings the rest (its length fits the buffer), with a read that brings nothing
// new, and at the longest value a server can send, whatever the driver answers: FreeTDS answers
// every read of a sql_variant holding a number with "string data, right truncated" and the
// whole value again, so trusting the warning alone would repeat the value without end.
bool GetTextData(SQLHSTMT stmt, SQLUSMALLINT column, std::u16string &text, SQLRETURN &rc) {
    text.clear();
    char16_t buffer[4096];
    const std::size_t capacity = sizeof buffer / sizeof(char16_t) - 1;
    SQLLEN left = -1; // what the read before said was still to come, in bytes; -1 unknown
    for (;;) {
        SQLLEN indicator = 0;
        rc = SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) {
            rc = SQL_SUCCESS;
            return true;
        }
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA)
            return false;
        const bool known = indicator != SQL_NO_TOTAL;
        const std::size_t got = (!known || indicator / 2 > SQLLEN(capacity))
                                    ? capacity
                                    : static_cast<std::size_t>(indicator / 2);
        const bool stuck = got == 0 || (known && left >= 0 && indicator >= left);
        if (!stuck)
            text.append(buffer, std::min(got, kMaxValueChars - text.size()));
        const bool rest = rc == SQL_SUCCESS || (known && indicator / 2 <= SQLLEN(capacity));
        if (stuck || rest || text.size() >= kMaxValueChars) {
            rc = SQL_SUCCESS;
            return true;
        }
        left = known ? indicator : -1;
    }
}

OdbcBackend::RowRead OdbcBackend::ReadRow(SQLHSTMT stmt, DbResult &result,
                                          const std::vector<Fetch> &fetches,
                                          DbBatchOutcome &outcome, std::u16string &text) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA)
        return RowRead::End;
    if (rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR)
        AddDiagnostics(stmt, outcome);
    if (rc == SQL_ERROR)
        return RowRead::Failed;
    for (std::size_t c = 0; c < fetches.size(); ++c) {
        DbColumn &column = result.Column(static_cast<int>(c));
        const auto number = static_cast<SQLUSMALLINT>(c + 1);
        SQLLEN indicator = 0;
        switch (fetches[c]) {
        case Fetch::Int: {
            SQLBIGINT v = 0;
            rc = SQLGetData(stmt, number, SQL_C_SBIGINT, &v, sizeof v, &indicator);
            if (SQL_SUCCEEDED(rc))
                indicator == SQL_NULL_DATA ? column.AppendNull() : column.AppendInt(v);
            break;
        }
        case Fetch::Bit: {
            SQLCHAR v = 0;
            rc = SQLGetData(stmt, number, SQL_C_BIT, &v, sizeof v, &indicator);
            if (SQL_SUCCEEDED(rc))
                indicator == SQL_NULL_DATA ? column.AppendNull() : column.AppendInt(v ? 1 : 0);
            break;
        }
        case Fetch::Real: {
            SQLDOUBLE v = 0;
            rc = SQLGetData(stmt, number, SQL_C_DOUBLE, &v, sizeof v, &indicator);
            if (SQL_SUCCEEDED(rc))
                indicator == SQL_NULL_DATA ? column.AppendNull() : column.AppendReal(v);
            break;
        }
        case Fetch::Timestamp: {
            SQL_TIMESTAMP_STRUCT v{};
            rc = SQLGetData(stmt, number, SQL_C_TYPE_TIMESTAMP, &v, sizeof v, &indicator);
            if (SQL_SUCCEEDED(rc))
                indicator == SQL_NULL_DATA ? column.AppendNull()
                                           : column.AppendInt(TimestampMSecs(v));
            break;
        }
        default:
            if (GetTextData(stmt, number, text, rc))
                AppendTextValue(column, fetches[c], text.data(), text.size());
            else if (SQL_SUCCEEDED(rc))
                column.AppendNull();
        }
        if (rc == SQL_ERROR) {
            AddDiagnostics(stmt, outcome);
            return RowRead::Failed;
        }
    }
    return RowRead::Row;
}

bool OdbcBackend::FetchRows(SQLHSTMT stmt, DbResult &result, const std::vector<Fetch> &fetches,
                            DbBatchOutcome &outcome) {
    std::u16string text;
    for (;;) {
        // A row's long values may take several reads from the server: the row is one wait.
        RowRead read = RowRead::Failed;
        if (!FCancel.Wait([&] { read = ReadRow(stmt, result, fetches, outcome, text); }))
            return false;
        if (read != RowRead::Row)
            return read == RowRead::End;
        CountFetchedRows(1);
        HandOff(result);
    }
}

void OdbcBackend::HandOff(DbResult &result) {
    if (!FSink || static_cast<std::size_t>(result.RowCount()) < FSink->BlockRows())
        return;
    auto block = std::make_unique<DbResult>(result.ColumnInfos());
    std::swap(*block, result);
    FSink->TakeBlock(std::move(block));
}

} // namespace

QString OdbcQuote(const QString &value, bool freeTds) {
    QString quoted = value;
    if (!freeTds)
        quoted.replace(QLatin1Char('}'), QLatin1String("}}"));
    return QLatin1Char('{') + quoted + QLatin1Char('}');
}

bool IsFreeTdsDriver(const QString &driver) {
    return driver.compare(kFreeTds, Qt::CaseInsensitive) == 0;
}

bool OdbcCanCarry(const QString &value, bool freeTds) {
    return !freeTds || !value.contains(QLatin1String("};"));
}

QString ChooseOdbcDriver(const QStringList &registeredDrivers) {
    for (const QString &preferred : {kMsDriver18, kMsDriver17})
        if (registeredDrivers.contains(preferred, Qt::CaseInsensitive))
            return preferred;
    return kFreeTds;
}

QString BuildOdbcConnectionString(const TOrvel_ConnectionSettings &settings,
                                  const QString &driver) {
    const bool freeTds = IsFreeTdsDriver(driver);
    auto pair = [freeTds](const char *keyword, const QString &value) {
        return QLatin1String(keyword) + QLatin1Char('=') + OdbcQuote(value, freeTds);
    };
    QStringList parts;
    parts << pair("Driver", driver) << pair("Server", settings.Server);
    if (settings.WindowsAuth) {
        parts << pair("Trusted_Connection", QStringLiteral("Yes"));
        // Both drivers take the server's Kerberos service name under the same keyword.
        if (!settings.ServerSPN.isEmpty())
            parts << pair("ServerSPN", settings.ServerSPN);
    } else
        parts << pair("UID", settings.User) << pair("PWD", settings.Password);
    parts << pair("APP", settings.AppName) << pair("Language", settings.Language);
    // Driver 18 demands encryption by default; the login never asked for it, so it stays optional.
    if (driver.compare(kMsDriver18, Qt::CaseInsensitive) == 0)
        parts << pair("Encrypt", QStringLiteral("Optional"));
    // Every value ends with "};": FreeTDS reads a final braced value without its ";" up to the end
    // of the text, closing brace included.
    return parts.join(QLatin1Char(';')) + QLatin1Char(';');
}

std::uint32_t MapOdbcOpenError(const QList<OdbcDiagRecord> &records, int *decisive) {
    auto find = [&](auto &&predicate) {
        for (int i = 0; i < records.size(); ++i)
            if (predicate(records[i]))
                return i;
        return -1;
    };
    auto state = [](const OdbcDiagRecord &r, const char *s) {
        return r.SqlState.compare(QLatin1String(s), Qt::CaseInsensitive) == 0;
    };
    struct Row {
        std::uint32_t code;
        int index;
    };
    const Row rows[] = {
        // The driver manager cannot find or load the driver.
        // (unixODBC reports a driver name it does not know as a library it cannot open.)
        {OdbcCodes::DriverNotFound, find([&](const OdbcDiagRecord &r) {
             return state(r, "IM002") || state(r, "IM003") || state(r, "IM004") ||
                    (r.Text.startsWith(QLatin1String("[unixODBC][Driver Manager]")) &&
                     r.Text.contains(QLatin1String("Can't open lib")));
         })},
        // A refused login: 28000, or 42000 with the server's error 18456 (FreeTDS, no LOGINACK);
        // 18452 is the refusal of a Windows login the server cannot trust or whose ticket it
        // cannot use.
        {OdbcCodes::LoginFailed, find([&](const OdbcDiagRecord &r) {
             return state(r, "28000") || r.NativeError == 18456 || r.NativeError == 18452;
         })},
        {OdbcCodes::ServerUnreachable, find([&](const OdbcDiagRecord &r) {
             return state(r, "08001") || state(r, "08S01") || state(r, "HYT00");
         })},
    };
    for (const Row &row : rows) {
        if (row.index >= 0) {
            if (decisive)
                *decisive = row.index;
            return row.code;
        }
    }
    if (decisive)
        *decisive = 0;
    return OdbcCodes::CommandError;
}

bool OdbcServerAnswered(const QList<OdbcDiagRecord> &records) {
    if (records.isEmpty())
        return false;
    for (const OdbcDiagRecord &r : records) {
        // FreeTDS: 20009 "Adaptive Server is unavailable or does not exist" (no connection);
        // a login time-out; Microsoft's driver names its network layer ("TCP Provider").
        if (r.NativeError == 20009 || r.SqlState.startsWith(QLatin1String("IM")) ||
            r.SqlState.compare(QLatin1String("HYT00"), Qt::CaseInsensitive) == 0 ||
            r.Text.contains(QLatin1String("TCP Provider")) ||
            (r.Text.startsWith(QLatin1String("[unixODBC][Driver Manager]"))))
            return false;
    }
    return true;
}

void SplitOdbcMessage(const QString &text, QString *source, QString *description) {
    qsizetype end = 0;
    while (end < text.size() && text[end] == QLatin1Char('[')) {
        const qsizetype close = text.indexOf(QLatin1Char(']'), end);
        if (close < 0)
            break;
        end = close + 1;
    }
    if (source)
        *source = text.left(end);
    if (description)
        *description = text.mid(end);
}

TOrvel_ProviderMessage OdbcProviderMessage(const OdbcDiagRecord &record) {
    TOrvel_ProviderMessage message;
    const QString &s = record.SqlState;
    if (s.startsWith(QLatin1String("01")))
        message.Number = OdbcCodes::Information;
    else if (s == QLatin1String("HYT00") || s == QLatin1String("HYT01"))
        message.Number = OdbcCodes::Timeout;
    else if (s == QLatin1String("HY008"))
        message.Number = OdbcCodes::Cancelled;
    else if (s.startsWith(QLatin1String("08")))
        message.Number = OdbcCodes::ServerUnreachable;
    else
        message.Number = OdbcCodes::CommandError;
    message.NativeError = static_cast<std::uint32_t>(record.NativeError);
    SplitOdbcMessage(record.Text, &message.Source, &message.Description);
    message.SqlState = record.SqlState;
    message.Class = record.Class >= 0 ? record.Class : (s.startsWith(QLatin1String("01")) ? 0 : 16);
    message.State = record.State >= 0 ? record.State : 1;
    message.Line = std::max(record.Line, 0);
    return message;
}

TFieldType MapOdbcType(int sqlType, std::uint64_t columnSize, int decimalDigits,
                       const QString &typeName, bool autoIncrement) {
    Q_UNUSED(decimalDigits);
    const bool unbounded = columnSize == 0;
    switch (sqlType) {
    case SQL_BIT:
        return TFieldType::ftBoolean;
    case SQL_TINYINT:
        return TFieldType::ftWord;
    case SQL_SMALLINT:
        return TFieldType::ftSmallint;
    case SQL_INTEGER:
        return autoIncrement ? TFieldType::ftAutoInc : TFieldType::ftInteger;
    case SQL_BIGINT:
        return TFieldType::ftLargeint;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return TFieldType::ftFloat;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        // Money too: a double cannot hold MONEY's 19 digits, so it is read as the exact decimal
        // with its four places.
        Q_UNUSED(typeName);
        return TFieldType::ftBCD;
    case SQL_CHAR:
        return unbounded || columnSize > 8000 ? TFieldType::ftMemo : TFieldType::ftFixedChar;
    case SQL_VARCHAR:
        return unbounded || columnSize > 8000 ? TFieldType::ftMemo : TFieldType::ftString;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return unbounded || columnSize > 4000 ? TFieldType::ftWideMemo : TFieldType::ftWideString;
    case SQL_LONGVARCHAR:
        return TFieldType::ftMemo;
    case SQL_WLONGVARCHAR:
    case SQL_SS_XML_:
        return TFieldType::ftWideMemo;
    case SQL_GUID:
        return TFieldType::ftGuid;
    case SQL_TYPE_DATE:
        return TFieldType::ftDate;
    case SQL_TYPE_TIME:
    case SQL_SS_TIME2_:
        return TFieldType::ftTime;
    case SQL_TYPE_TIMESTAMP:
        return TFieldType::ftDateTime;
    case SQL_SS_TIMESTAMPOFFSET_:
        return TFieldType::ftWideString; // shown as the server's text, offset included
    case SQL_BINARY:
    case SQL_VARBINARY:
        return unbounded || columnSize > 8000 ? TFieldType::ftBlob : TFieldType::ftBytes;
    case SQL_LONGVARBINARY:
        return TFieldType::ftBlob;
    case SQL_SS_VARIANT_:
        return TFieldType::ftVariant;
    default:
        return TFieldType::ftUnknown;
    }
}

std::unique_ptr<DbBackend> CreateOdbcBackend() {
    return std::make_unique<OdbcBackend>();
}
