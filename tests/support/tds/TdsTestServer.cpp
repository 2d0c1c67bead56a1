#include "TdsTestServer.h"

#include "TdsChannel.h"
#include "TdsGssAcceptor.h"
#include "TdsNtlm.h"
#include "TdsReplay.h"
#include "TdsWire.h"
#include "U_DbBackend.h"

#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>

namespace {
constexpr std::uint32_t kTds72 = 0x72090002;
constexpr std::uint32_t kTds74 = 0x74000004;
constexpr std::size_t kHeader = 8;

std::uint16_t LE16(const QByteArray &d, int at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(d[at]) |
                                      static_cast<unsigned char>(d[at + 1]) << 8);
}

std::uint32_t LE32(const QByteArray &d, int at) {
    return static_cast<std::uint32_t>(LE16(d, at)) | static_cast<std::uint32_t>(LE16(d, at + 2))
                                                         << 16;
}

// A string field of LOGIN7: offset and length (characters) at `at`, from the packet's start.
QString LoginString(const QByteArray &d, int at, bool password = false) {
    if (at + 4 > d.size())
        return {};
    const int offset = LE16(d, at);
    const int chars = LE16(d, at + 2);
    if (offset + chars * 2 > d.size())
        return {};
    QByteArray bytes = d.mid(offset, chars * 2);
    if (password) // the client swapped the nibbles of each byte, then applied XOR 0xA5
        for (char &c : bytes) {
            const auto b = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ 0xA5);
            c = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
        }
    return QString(reinterpret_cast<const QChar *>(bytes.constData()), chars);
}

// How far TLS reaches on a connection, from the server's setting and the client's PRELOGIN byte
// (0x00 off, 0x01 on, 0x02 not supported, 0x03 required).
enum class TlsScope { None, Login, Session, Refused };

struct EncryptionAnswer {
    std::uint8_t reply;
    TlsScope scope;
};

EncryptionAnswer AnswerEncryption(TdsTestServer::Encryption server, std::uint8_t client) {
    using E = TdsTestServer::Encryption;
    if (server == E::NotSupported)
        return {0x02, TlsScope::None};
    if (client == 0x02) // the client has no TLS: fine in clear, unless the server requires it
        return server == E::Required ? EncryptionAnswer{0x03, TlsScope::Refused}
                                     : EncryptionAnswer{0x02, TlsScope::None};
    if (server == E::Required || client == 0x01 || client == 0x03)
        return {0x01, TlsScope::Session};
    return {0x00, TlsScope::Login};
}

// The ENCRYPTION option of a client's PRELOGIN (token 1 in the option table); "not supported"
// when it is missing or malformed.
std::uint8_t ClientEncryption(const QByteArray &d) {
    for (int at = 0; at + 5 <= d.size() && static_cast<unsigned char>(d[at]) != 0xFF; at += 5) {
        const int offset =
            static_cast<unsigned char>(d[at + 1]) << 8 | static_cast<unsigned char>(d[at + 2]);
        const int length =
            static_cast<unsigned char>(d[at + 3]) << 8 | static_cast<unsigned char>(d[at + 4]);
        if (d[at] == 0x01 && length >= 1 && offset < d.size())
            return static_cast<std::uint8_t>(d[offset]);
    }
    return 0x02;
}

// A batch cut at the server's own WAITFOR DELAY statements.
struct Segment {
    QString sql;
    int waitMSecs = -1; // >= 0: a WAITFOR
};

std::vector<Segment> SplitWaitFor(const QString &sql) {
    static const QRegularExpression waitFor(
        QStringLiteral(R"(\bWAITFOR\s+DELAY\s+'(\d{1,2}):(\d{2}):(\d{2})(?:\.(\d{1,3}))?'\s*;?)"),
        QRegularExpression::CaseInsensitiveOption);
    std::vector<Segment> segments;
    qsizetype from = 0;
    for (auto it = waitFor.globalMatch(sql); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        segments.push_back({sql.mid(from, m.capturedStart() - from), -1});
        const int msecs =
            ((m.captured(1).toInt() * 60 + m.captured(2).toInt()) * 60 + m.captured(3).toInt()) *
                1000 +
            m.captured(4).leftJustified(3, QLatin1Char('0')).toInt();
        segments.push_back({QString(), msecs});
        from = m.capturedEnd();
    }
    segments.push_back({sql.mid(from), -1});
    return segments;
}

// SYSTEM_USER, which the embedded engine does not know, as the login's name in a literal (the
// test server does not look for it in strings or comments).
QString WithSystemUser(const QString &sql, const QString &login) {
    static const QRegularExpression systemUser(QStringLiteral(R"(\bSYSTEM_USER\b)"),
                                               QRegularExpression::CaseInsensitiveOption);
    QString quoted = login;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    QString text = sql;
    return text.replace(systemUser, QLatin1Char('\'') + quoted + QLatin1Char('\''));
}

// The query of `SET FMTONLY ON query SET FMTONLY OFF` (as freebcp asks for a result's columns),
// or "" when the text is not of that form.
QString FormatOnlyQuery(const QString &sql) {
    static const QRegularExpression formatOnly(
        QStringLiteral(R"(^\s*SET\s+FMTONLY\s+ON\s+(.+?)\s+SET\s+FMTONLY\s+OFF\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = formatOnly.match(sql);
    return m.hasMatch() ? m.captured(1) : QString();
}

// Whether the batch is only `SET TEXTSIZE n`, which freebcp sends before anything else.
bool IsTextSize(const QString &sql) {
    static const QRegularExpression textSize(QStringLiteral(R"(^\s*SET\s+TEXTSIZE\s+\d+\s*;?\s*$)"),
                                             QRegularExpression::CaseInsensitiveOption);
    return textSize.match(sql).hasMatch();
}

// The database a successful USE statement makes current, or "" when the text is no USE.
QString UsedDatabase(const QString &sql) {
    static const QRegularExpression use(QStringLiteral(R"(^\s*USE\s+(.+?)\s*;?\s*$)"),
                                        QRegularExpression::CaseInsensitiveOption |
                                            QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = use.match(sql);
    if (!m.hasMatch())
        return {};
    QString name = m.captured(1);
    if (name.size() >= 2 &&
        ((name.front() == QLatin1Char('"') && name.back() == QLatin1Char('"')) ||
         (name.front() == QLatin1Char('[') && name.back() == QLatin1Char(']'))))
        name = name.mid(1, name.size() - 2);
    return name.replace(QLatin1String("\"\""), QLatin1String("\""));
}
} // namespace

// One client connection.
class TdsTestServer::Session {
public:
    Session(TdsTestServer *server, int socket, TdsTestServer::Encryption encryption)
        : FServer(server), FSocket(socket), FChannel(socket), FEncryption(encryption) {
        FThread = std::thread([this] { Run(); });
    }
    ~Session() {
        Shutdown();
        if (FThread.joinable())
            FThread.join();
        ::close(FSocket);
        FServer->KeepCapture(FChannel.Captured(), FChannel.Sent());
    }
    void Shutdown() { ::shutdown(FSocket, SHUT_RDWR); }
    QByteArray Captured() const { return FChannel.Captured(); }
    QByteArray Sent() const { return FChannel.Sent(); }

private:
    struct PendingDone {
        bool present = false;
        std::uint16_t status = 0;
        std::uint64_t count = 0;
    };

    void Run();
    bool ReadExact(char *buffer, std::size_t size);
    bool ReadMessage(std::uint8_t *type, QByteArray *payload);
    bool SendPackets(bool endOfMessage, bool everything = false);
    void SendReply() { SendPackets(true); }
    bool PreLogin(const QByteArray &payload);
    void PreLoginReply(std::uint8_t encryption);
    bool Login(const QByteArray &packet);
    bool IntegratedLogin(const QByteArray &packet, LoginInfo &info);
    void RefuseLogin(std::uint32_t number, const QString &text);
    void StartBatch(const QByteArray &payload);
    void RunBatch(const QString &sql);
    void Replay(const TdsReplay &replay);
    bool RunSegment(const QString &sql, PendingDone &pending);
    bool WriteRows(const DbResult &result, PendingDone &pending,
                   const std::vector<Tds::WireType> &wireTypes = {});
    void WriteDone(PendingDone &pending, bool more);
    bool Wait(int msecs);
    void JoinWorker() {
        if (FWorker.joinable())
            FWorker.join();
    }

    TdsTestServer *FServer;
    int FSocket;
    TdsChannel FChannel;
    TdsTestServer::Encryption FEncryption;
    TlsScope FTls = TlsScope::None;
    std::thread FThread;
    std::thread FWorker;
    std::atomic<bool> FCancel{false};
    std::mutex FWaitLock;
    std::condition_variable FWake;
    Tds::Writer FOut;
    std::size_t FPacketSize = 4096;
    std::uint8_t FPacketId = 1;
    std::uint32_t FTdsVersion = kTds74;
    bool FLoggedIn = false;
    std::unique_ptr<DbBackend> FEngine;
    QString FDatabase = QStringLiteral("master");
    QString FLoginName; // what SYSTEM_USER gives
};

bool TdsTestServer::Session::ReadExact(char *buffer, std::size_t size) {
    return FChannel.Read(buffer, size);
}

bool TdsTestServer::Session::ReadMessage(std::uint8_t *type, QByteArray *payload) {
    payload->clear();
    for (;;) {
        unsigned char header[kHeader];
        if (!ReadExact(reinterpret_cast<char *>(header), kHeader))
            return false;
        const std::size_t length = static_cast<std::size_t>(header[2] << 8 | header[3]);
        if (length < kHeader)
            return false;
        *type = header[0];
        const qsizetype at = payload->size();
        payload->resize(at + static_cast<qsizetype>(length - kHeader));
        if (!ReadExact(payload->data() + at, length - kHeader))
            return false;
        if (header[1] & 0x01) {
            FServer->RecordMessage(*type, FChannel.Encrypted());
            return true;
        }
    }
}

// Sends the buffered tokens as reply packets; without the end of the message, only whole packets
// unless `everything` is asked for.
bool TdsTestServer::Session::SendPackets(bool endOfMessage, bool everything) {
    const std::size_t body = FPacketSize - kHeader;
    std::size_t sent = 0;
    bool ok = true;
    while (ok) {
        const std::size_t left = FOut.Size() - sent;
        if (left < body && !endOfMessage && !everything)
            break;
        if (left == 0 && (sent > 0 || !endOfMessage))
            break;
        const std::size_t chunk = std::min(left, body);
        const bool last = endOfMessage && chunk == left;
        char header[kHeader] = {Tds::Reply,
                                static_cast<char>(last ? 1 : 0),
                                static_cast<char>((chunk + kHeader) >> 8),
                                static_cast<char>((chunk + kHeader) & 0xFF),
                                0,
                                0x33,
                                static_cast<char>(FPacketId++),
                                0};
        std::string packet(header, kHeader);
        packet.append(FOut.Data() + sent, chunk);
        ok = FChannel.Write(packet.data(), packet.size());
        sent += chunk;
        if (last)
            break;
    }
    FOut.Erase(sent);
    return ok;
}

// Answers the client's PRELOGIN and, when encryption was agreed, runs the TLS handshake; false
// when the connection ends here.
bool TdsTestServer::Session::PreLogin(const QByteArray &payload) {
    const EncryptionAnswer answer = AnswerEncryption(FEncryption, ClientEncryption(payload));
    PreLoginReply(answer.reply);
    FTls = answer.scope;
    switch (answer.scope) {
    case TlsScope::None:
        return true;
    case TlsScope::Refused:
        return false;
    default:
        return FChannel.StartTls();
    }
}

void TdsTestServer::Session::PreLoginReply(std::uint8_t encryption) {
    // Options VERSION, ENCRYPTION, INSTOPT, THREADID (empty), MARS.
    FOut.Clear();
    const std::uint8_t tokens[5] = {0, 1, 2, 3, 4};
    const std::uint16_t lengths[5] = {6, 1, 1, 0, 1};
    std::uint16_t offset = 5 * 5 + 1;
    for (int i = 0; i < 5; ++i) {
        FOut.U8(tokens[i]);
        FOut.U16BE(offset);
        FOut.U16BE(lengths[i]);
        offset = static_cast<std::uint16_t>(offset + lengths[i]);
    }
    FOut.U8(0xFF);
    const char version[6] = {16, 0, 0, 1, 0, 0};
    FOut.Bytes(version, 6);
    FOut.U8(encryption);
    FOut.U8(0x00);
    FOut.U8(0x00);
    SendReply();
}

bool TdsTestServer::Session::Login(const QByteArray &packet) {
    if (packet.size() < 94)
        return false;
    LoginInfo info;
    info.TdsVersion = LE32(packet, 4);
    info.PacketSize = static_cast<int>(LE32(packet, 8));
    info.User = LoginString(packet, 40);
    const QString password = LoginString(packet, 44, true);
    info.Application = LoginString(packet, 48);
    info.ServerName = LoginString(packet, 52).section(QChar(0), 0, 0);
    info.Language = LoginString(packet, 64);
    info.Database = LoginString(packet, 68);
    info.Integrated = (static_cast<unsigned char>(packet[25]) & 0x80) != 0; // fIntSecurity
    if (info.TdsVersion < kTds72) {
        FServer->RecordLogin(info);
        return false; // the test server speaks 7.2 and later only
    }
    FTdsVersion = std::min(info.TdsVersion, kTds74);

    FOut.Clear();
    if (info.Integrated) {
        if (!IntegratedLogin(packet, info))
            return false;
        if (info.User.isEmpty())
            return true; // refused, and told so
    } else {
        FServer->RecordLogin(info);
        if (info.User != FServer->FUser || password != FServer->FPassword) {
            RefuseLogin(18456, QStringLiteral("Login failed for user '%1'.").arg(info.User));
            return true;
        }
    }
    FLoginName = info.User;
    const QString server = QStringLiteral("sqlite:") + FServer->FFolder;
    FEngine = CreateBackend(server);
    TOrvel_ConnectionSettings settings;
    settings.Server = server;
    FEngine->Open(settings);
    if (!info.Database.isEmpty()) {
        QString quoted = info.Database;
        quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
        if (FEngine->ExecBatch(QStringLiteral("USE \"%1\"").arg(quoted), 0, false).Failed) {
            Tds::Message(FOut, true, 4060, 1, 11,
                         QStringLiteral("Cannot open database \"%1\" requested by the login. The "
                                        "login failed.")
                             .arg(info.Database),
                         1);
            Tds::Done(FOut, Tds::DoneError, 0);
            SendReply();
            return true;
        }
        FDatabase = info.Database;
    }
    FPacketSize = static_cast<std::size_t>(std::clamp(info.PacketSize, 512, 32767));
    Tds::EnvChange(FOut, 1, FDatabase, QStringLiteral("master"));
    Tds::CollationChange(FOut);
    Tds::LoginAck(FOut, FTdsVersion);
    Tds::EnvChange(FOut, 4, QString::number(FPacketSize), QStringLiteral("4096"));
    Tds::Done(FOut, Tds::DoneFinal, 0);
    SendReply();
    FLoggedIn = true;
    return true;
}

void TdsTestServer::Session::RefuseLogin(std::uint32_t number, const QString &text) {
    FOut.Clear();
    Tds::Message(FOut, true, number, 1, 14, text, 1);
    Tds::Done(FOut, Tds::DoneError, 0);
    SendReply();
}

// Runs the GSS-API exchange of an integrated login: the token of LOGIN7 first, then, while the
// mechanism wants more, SSPI token 0xED out and an SSPI message 0x11 back. On success
// info.User is the client's principal and the last token (if any) waits in FOut before the
// LOGINACK; a refusal has been sent and leaves info.User empty. False when the client went away.
bool TdsTestServer::Session::IntegratedLogin(const QByteArray &packet, LoginInfo &info) {
    const int offset = LE16(packet, 78);
    int length = LE16(packet, 80);
    if (length == 0xFFFF && packet.size() >= 94)
        length = static_cast<int>(LE32(packet, 90)); // cbSSPILong
    QByteArray token = offset + length <= packet.size() ? packet.mid(offset, length) : QByteArray();
    info.User.clear();
    const QString untrusted = QStringLiteral("Login failed. The login is from an untrusted domain "
                                             "and cannot be used with Integrated "
                                             "authentication.");
    QString keytab;
    QStringList logins;
    QStringList ntlm;
    {
        std::lock_guard lock(FServer->FLock);
        keytab = FServer->FKeytab;
        logins = FServer->FIntegratedLogins;
        ntlm = FServer->FNtlmAccount;
    }
    if (TdsNtlmAcceptor::IsNtlm(token)) {
        if (ntlm.size() != 3) {
            FServer->RecordLogin(info);
            RefuseLogin(18452, untrusted);
            return true;
        }
        TdsNtlmAcceptor acceptor(ntlm[0], ntlm[1], ntlm[2]);
        const QByteArray challenge = acceptor.Challenge(token);
        FOut.Clear();
        FOut.U8(0xED);
        FOut.U16(static_cast<std::uint16_t>(challenge.size()));
        FOut.Bytes(challenge.constData(), static_cast<std::size_t>(challenge.size()));
        SendReply();
        std::uint8_t type = 0;
        if (!ReadMessage(&type, &token) || type != 0x11)
            return false;
        QString login;
        const bool verified = acceptor.Verify(token, &login);
        info.User = login;
        FServer->RecordLogin(info);
        FOut.Clear();
        if (!verified) {
            info.User.clear();
            RefuseLogin(18456, QStringLiteral("Login failed for user '%1'.").arg(login));
        }
        return true;
    }
    if (keytab.isEmpty() || token.isEmpty()) {
        FServer->RecordLogin(info);
        RefuseLogin(18452, untrusted);
        return true;
    }
    TdsGssAcceptor acceptor(keytab);
    for (;;) {
        const TdsGssAcceptor::Step step = acceptor.Accept(token);
        if (step == TdsGssAcceptor::Step::Failed) {
            FServer->RecordLogin(info);
            RefuseLogin(18452, untrusted);
            return true;
        }
        const QByteArray out = acceptor.Output();
        FOut.Clear();
        if (!out.isEmpty()) {
            FOut.U8(0xED);
            FOut.U16(static_cast<std::uint16_t>(out.size()));
            FOut.Bytes(out.constData(), static_cast<std::size_t>(out.size()));
        }
        if (step == TdsGssAcceptor::Step::Complete)
            break;
        SendReply();
        std::uint8_t type = 0;
        if (!ReadMessage(&type, &token) || type != 0x11)
            return false;
    }
    const QString principal = acceptor.Principal();
    info.User = principal;
    FServer->RecordLogin(info);
    if (!logins.contains(principal, Qt::CaseInsensitive)) {
        info.User.clear();
        RefuseLogin(18456, QStringLiteral("Login failed for user '%1'.").arg(principal));
        return true;
    }
    return true; // FOut holds the last token, to go before the LOGINACK
}

void TdsTestServer::Session::StartBatch(const QByteArray &payload) {
    // ALL_HEADERS first: its total length includes itself.
    int skip = 0;
    if (payload.size() >= 4) {
        skip = static_cast<int>(LE32(payload, 0));
        if (skip < 4 || skip > payload.size())
            skip = 0;
    }
    const QString sql(reinterpret_cast<const QChar *>(payload.constData() + skip),
                      (payload.size() - skip) / 2);
    FCancel = false;
    FWorker = std::thread([this, sql] { RunBatch(sql); });
}

bool TdsTestServer::Session::Wait(int msecs) {
    std::unique_lock lock(FWaitLock);
    return !FWake.wait_for(lock, std::chrono::milliseconds(msecs),
                           [this] { return FCancel.load(); });
}

void TdsTestServer::Session::WriteDone(PendingDone &pending, bool more) {
    if (!pending.present)
        return;
    Tds::Done(FOut, static_cast<std::uint16_t>(pending.status | (more ? Tds::DoneMore : 0)),
              pending.count);
    pending = PendingDone();
}

// Writes one result set; false when the client cancelled or went away meanwhile.
bool TdsTestServer::Session::WriteRows(const DbResult &result, PendingDone &pending,
                                       const std::vector<Tds::WireType> &wireTypes) {
    const std::vector<Tds::WireColumn> columns = Tds::DescribeColumns(result, wireTypes);
    Tds::ColMetadata(FOut, columns);
    const auto rows = static_cast<std::size_t>(result.RowCount());
    for (std::size_t r = 0; r < rows; ++r) {
        Tds::Row(FOut, columns, result, r);
        if (FOut.Size() >= FPacketSize) {
            if (FCancel || !SendPackets(false))
                return false;
            const int pause = FServer->FPacketPause;
            if (pause > 0 && !Wait(pause))
                return false;
        }
    }
    pending = {true, Tds::DoneCount, rows};
    return true;
}

// Runs one piece of the batch on the engine and writes its results; false when the batch stops
// (an error, or the client cancelled).
bool TdsTestServer::Session::RunSegment(const QString &sql, PendingDone &pending) {
    const DbBatchOutcome outcome = FEngine->ExecBatch(WithSystemUser(sql, FLoginName), 0, false);
    if (FCancel)
        return false;
    bool errorSent = false;
    for (const DbBatchItem &item : outcome.Items) {
        WriteDone(pending, true);
        switch (item.kind) {
        case DbBatchItem::Kind::Rows:
            if (!WriteRows(*item.rows, pending))
                return false;
            break;
        case DbBatchItem::Kind::Count:
            pending = {true, static_cast<std::uint16_t>(item.count >= 0 ? Tds::DoneCount : 0),
                       static_cast<std::uint64_t>(std::max<std::int64_t>(item.count, 0))};
            break;
        case DbBatchItem::Kind::Message: {
            const TOrvel_ProviderMessage &m = item.message;
            const bool error = m.Class > 10;
            Tds::Message(FOut, error, m.NativeError ? m.NativeError : (error ? 50000 : 0),
                         static_cast<std::uint8_t>(std::clamp(m.State, 0, 255)),
                         static_cast<std::uint8_t>(std::clamp(m.Class, 0, 25)), m.Description,
                         static_cast<std::uint32_t>(std::max(m.Line, error ? 1 : 0)));
            // A message closes its statement, as a PRINT does on SQL Server.
            pending = {true, static_cast<std::uint16_t>(error ? Tds::DoneError : 0), 0};
            errorSent = errorSent || error;
            break;
        }
        }
    }
    if (outcome.Failed) {
        if (!errorSent) {
            WriteDone(pending, true);
            Tds::Message(FOut, true, 50000, 1, 16, outcome.ErrorMessage, 1);
            pending = {true, Tds::DoneError, 0};
        }
        return false;
    }
    const QString database = UsedDatabase(sql);
    if (!database.isEmpty()) {
        Tds::EnvChange(FOut, 1, database, FDatabase);
        FDatabase = database;
    }
    return true;
}

// Writes the pre-encoded packets, each with the session's next packet id, watching for a cancel
// between two packets as the normal path does.
void TdsTestServer::Session::Replay(const TdsReplay &replay) {
    FServer->RecordReplay();
    std::vector<char> packet(replay.PacketSize());
    for (std::size_t i = 0; i < replay.PacketCount(); ++i) {
        if (FCancel) {
            // The row the last packet cut must arrive whole before the acknowledgement.
            if (i > 0) {
                const std::vector<char> tail = replay.TokenTail(i - 1);
                FOut.Bytes(tail.data(), tail.size());
                SendPackets(false, true);
            }
            FServer->RecordCancel();
            return;
        }
        const std::size_t bytes = replay.PacketBytes(i);
        std::memcpy(packet.data(), replay.Packet(i), bytes);
        packet[6] = static_cast<char>(FPacketId++);
        if (!FChannel.Write(packet.data(), bytes))
            return;
        const int pause = FServer->FPacketPause;
        if (pause > 0)
            Wait(pause);
    }
}

void TdsTestServer::Session::RunBatch(const QString &sql) {
    FOut.Clear();
    PendingDone pending;
    const Canned canned = FServer->CannedResult(sql);
    if (canned.replay && canned.replay->PacketSize() == FPacketSize) {
        Replay(*canned.replay);
        return;
    }
    if (!canned.result && IsTextSize(sql)) {
        // Taken and not applied: the engine's texts are short, and the long ones are canned.
        Tds::Done(FOut, Tds::DoneFinal, 0);
        SendReply();
        return;
    }
    if (!canned.result) {
        const QString query = FormatOnlyQuery(sql);
        const Canned described = query.isEmpty() ? Canned() : FServer->CannedResult(query);
        if (described.replay) {
            const Tds::Writer &columns = described.replay->ColumnsOnly();
            FOut.Bytes(columns.Data(), columns.Size());
            SendReply();
            return;
        }
    }
    for (const Segment &segment : canned.result ? std::vector<Segment>() : SplitWaitFor(sql)) {
        if (segment.waitMSecs >= 0) {
            if (!Wait(segment.waitMSecs))
                break;
            continue;
        }
        if (segment.sql.trimmed().isEmpty())
            continue;
        if (!RunSegment(segment.sql, pending))
            break;
    }
    if (canned.result)
        WriteRows(*canned.result, pending, canned.wireTypes);
    if (FCancel) {
        // The reply ends with the acknowledgement of the ATTENTION, sent by the reader. A row
        // already begun in a sent packet must arrive whole first, or the client reads the
        // acknowledgement as the rest of that row.
        SendPackets(false, true);
        FServer->RecordCancel();
        return;
    }
    if (!pending.present)
        pending = {true, Tds::DoneFinal, 0};
    WriteDone(pending, false);
    SendReply();
}

void TdsTestServer::Session::Run() {
    const int one = 1;
    ::setsockopt(FSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::uint8_t type = 0;
    QByteArray payload;
    while (ReadMessage(&type, &payload)) {
        if (type == Tds::Attention) {
            if (FServer->FIgnoreAttention)
                continue;
            {
                std::lock_guard lock(FWaitLock);
                FCancel = true;
            }
            FWake.notify_all();
            FEngine->Cancel(); // a long statement of the engine stops as well
            JoinWorker();
            FOut.Clear();
            Tds::Done(FOut, Tds::DoneAttention, 0);
            SendReply();
            continue;
        }
        JoinWorker();
        if (type == Tds::PreLogin) {
            if (!PreLogin(payload))
                break;
        } else if (type == Tds::Login7) {
            if (FTls == TlsScope::Login)
                FChannel.EndTls(); // the reply and all that follows travel in clear
            if (!Login(payload))
                break;
        } else if (!FLoggedIn) {
            break;
        } else if (type == Tds::SqlBatch) {
            StartBatch(payload);
        } else if (type == Tds::TransactionManager) {
            FOut.Clear();
            Tds::Done(FOut, Tds::DoneFinal, 0);
            SendReply();
        } else if (type == Tds::Rpc) {
            FOut.Clear();
            Tds::Message(FOut, true, 50000, 1, 16,
                         QStringLiteral("Remote procedure calls are not supported by the test "
                                        "server."),
                         1);
            Tds::Done(FOut, Tds::DoneError, 0);
            SendReply();
        } else {
            break; // e.g. a TDS 5.0 login after a failed PRELOGIN: close
        }
    }
    {
        std::lock_guard lock(FWaitLock);
        FCancel = true;
    }
    FWake.notify_all();
    JoinWorker();
    ::shutdown(FSocket, SHUT_RDWR);
}

TdsTestServer::TdsTestServer(const QString &folder, const QString &user, const QString &password)
    : FFolder(folder), FUser(user), FPassword(password) {}

TdsTestServer::~TdsTestServer() {
    Stop();
}

bool TdsTestServer::Start() {
    FListen = ::socket(AF_INET, SOCK_STREAM, 0);
    if (FListen < 0)
        return false;
    const int one = 1;
    ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(FListen, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(FListen, 16) != 0 ||
        ::getsockname(FListen, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(FListen);
        FListen = -1;
        return false;
    }
    FPort = ntohs(address.sin_port);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void TdsTestServer::AcceptLoop() {
    for (;;) {
        const int client = ::accept(FListen, nullptr, nullptr);
        if (client < 0)
            return; // the listening socket was shut down
        std::lock_guard lock(FLock);
        FSessions.push_back(std::make_unique<Session>(this, client, FEncryption));
    }
}

void TdsTestServer::Stop() {
    if (FListen < 0)
        return;
    ::shutdown(FListen, SHUT_RDWR);
    if (FAcceptThread.joinable())
        FAcceptThread.join();
    ::close(FListen);
    FListen = -1;
    std::vector<std::unique_ptr<Session>> sessions;
    {
        std::lock_guard lock(FLock);
        sessions.swap(FSessions);
    }
    sessions.clear(); // each session shuts its socket down and joins its threads
}

TdsTestServer::LoginInfo TdsTestServer::LastLogin() const {
    std::lock_guard lock(FLock);
    return FLastLogin;
}

int TdsTestServer::BatchesCancelled() const {
    std::lock_guard lock(FLock);
    return FCancelled;
}

void TdsTestServer::RecordLogin(const LoginInfo &info) {
    std::lock_guard lock(FLock);
    FLastLogin = info;
}

void TdsTestServer::SetCannedResult(const QString &sql, std::shared_ptr<const DbResult> result,
                                    std::vector<Tds::WireType> wireTypes) {
    std::lock_guard lock(FLock);
    FCanned.insert(sql, Canned{std::move(result), std::move(wireTypes)});
}

void TdsTestServer::SetReplayedResult(const QString &sql, std::shared_ptr<const DbResult> result,
                                      std::vector<Tds::WireType> wireTypes, int packetSize) {
    auto replay =
        std::make_shared<const TdsReplay>(*result, wireTypes, static_cast<std::size_t>(packetSize));
    std::lock_guard lock(FLock);
    FCanned.insert(sql, Canned{std::move(result), std::move(wireTypes), std::move(replay)});
}

int TdsTestServer::BatchesReplayed() const {
    std::lock_guard lock(FLock);
    return FReplayed;
}

void TdsTestServer::RecordReplay() {
    std::lock_guard lock(FLock);
    ++FReplayed;
}

TdsTestServer::Canned TdsTestServer::CannedResult(const QString &sql) const {
    std::lock_guard lock(FLock);
    return FCanned.value(sql);
}

void TdsTestServer::RecordCancel() {
    std::lock_guard lock(FLock);
    ++FCancelled;
}

void TdsTestServer::SetIntegratedLogins(const QString &keytab, const QStringList &logins) {
    std::lock_guard lock(FLock);
    FKeytab = keytab;
    FIntegratedLogins = logins;
}

void TdsTestServer::SetNtlmLogin(const QString &domain, const QString &user,
                                 const QString &password) {
    std::lock_guard lock(FLock);
    FNtlmAccount = QStringList{domain, user, password};
}

void TdsTestServer::SetEncryption(Encryption mode) {
    std::lock_guard lock(FLock);
    FEncryption = mode;
}

void TdsTestServer::RecordMessage(std::uint8_t type, bool encrypted) {
    std::lock_guard lock(FLock);
    FReceived.push_back({type, encrypted});
}

std::vector<TdsTestServer::ReceivedMessage> TdsTestServer::ReceivedMessages() const {
    std::lock_guard lock(FLock);
    return FReceived;
}

void TdsTestServer::KeepCapture(const QByteArray &bytes, const QByteArray &sent) {
    std::lock_guard lock(FLock);
    FClosedCapture += bytes;
    FClosedSent += sent;
}

QByteArray TdsTestServer::SentBytes() const {
    std::lock_guard lock(FLock);
    QByteArray bytes = FClosedSent;
    for (const auto &session : FSessions)
        bytes += session->Sent();
    return bytes;
}

QByteArray TdsTestServer::CapturedBytes() const {
    std::lock_guard lock(FLock);
    QByteArray bytes = FClosedCapture;
    for (const auto &session : FSessions)
        bytes += session->Captured();
    return bytes;
}
