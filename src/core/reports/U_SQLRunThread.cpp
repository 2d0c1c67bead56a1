#include "U_SQLRunThread.h"

#include "U_Db.h"
#include "U_Login.h"

#include <exception>

namespace {
const QString NoResultSetMessage = QStringLiteral("Obiekt CommandText nie zwraca zestawu wyniku");
}

TOrvel_SQLRunThread::TOrvel_SQLRunThread(DbQuery *query, DbConnection *connection, QObject *parent)
    : QThread(parent), FQuery(query), FConnection(connection) {}

QString TOrvel_SQLRunThread::ComposeErrorText(const QString &errorMessage,
                                              const QString &providerText) {
    if (!providerText.isEmpty())
        return errorMessage + QStringLiteral("\r\n") + providerText;
    // A batch that only changes data yields no result set and no message: that run succeeded.
    // Any other failure without messages (a lost connection, a driver fault) must not pass as
    // a success, so its own message stays.
    if (errorMessage == NoResultSetMessage)
        return QString();
    return errorMessage;
}

void TOrvel_SQLRunThread::run() {
    FErrorText.clear();
    FCancelled = false;
    try {
        FQuery->Open();
    } catch (const EDbCancelled &) {
        // The user stopped the run: that is its outcome, with nothing to report from the server
        // (the cancelled batch left no messages). Neither the query nor the connection is
        // touched any more: an abandoned worker may outlive them.
        FCancelled = true;
    } catch (const EOrvelError &e) {
        FErrorText = ComposeErrorText(e.message(), ConnectionErrorsText(*FConnection));
    } catch (const std::exception &e) {
        FErrorText =
            ComposeErrorText(QString::fromLocal8Bit(e.what()), ConnectionErrorsText(*FConnection));
    } catch (...) {
        // Nothing may escape the thread's body; the provider's messages say what happened.
        FErrorText = ConnectionErrorsText(*FConnection);
    }
}
