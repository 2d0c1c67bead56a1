#pragma once
// Opening a pick list's query without freezing the window: the query runs on a thread of its own.
// A quick one (most of them) is simply waited for; after a moment a small modal box shows
// "Wypełnianie listy..." with "Przerwij", which asks the connection to cancel the query. The box
// keeps the rest of the program away from the connection while the query runs.
#include <functional>

class DbConnection;
class QWidget;

// Runs `open` to its end on another thread and passes on what it raised (EDbCancelled after
// "Przerwij").
void RunListQuery(QWidget *owner, DbConnection &connection, const std::function<void()> &open);
