#pragma once
// The one exception type of the core: it carries the text the user will see.
#include <QString>
#include <stdexcept>

class EOrvelError : public std::runtime_error {
public:
    explicit EOrvelError(const QString &message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString &message() const noexcept { return FMessage; }

private:
    QString FMessage;
};
