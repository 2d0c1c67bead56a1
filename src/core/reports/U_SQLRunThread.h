#pragma once
// The worker of one report run: it only opens the report's result query, off the user-interface
// thread, and keeps the error text of a failed opening for the report to collect afterwards.
#include <QString>
#include <QThread>

class DbConnection;
class DbQuery;

class TOrvel_SQLRunThread : public QThread {
    Q_OBJECT
public:
    // The query already holds the final SQL text; neither the query nor the connection is owned.
    TOrvel_SQLRunThread(DbQuery *query, DbConnection *connection, QObject *parent = nullptr);

    // Read only after the thread has finished.
    const QString &ErrorText() const { return FErrorText; }
    // The batch was stopped by a cancel request: no error, and no result.
    bool Cancelled() const { return FCancelled; }

    // The text a failed opening leaves: the error's message, then CR LF and the provider's
    // messages when there are any. A batch without a result set and without messages is not an
    // error; any other failure keeps at least its own message.
    static QString ComposeErrorText(const QString &errorMessage, const QString &providerText);

protected:
    void run() override; // Execute

private:
    DbQuery *FQuery;
    DbConnection *FConnection;
    QString FErrorText;
    bool FCancelled = false;
};
