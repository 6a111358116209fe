// Exception hierarchy of the runtime: every error the library raises derives from
// Exception, which carries its message and derives from std::exception.
#pragma once

#include <exception>
#include <string>

namespace sonvera {

class Exception : public std::exception {
public:
    explicit Exception(std::string AMessage) : FMessage(std::move(AMessage)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

// An index or channel outside the object's bounds.
class ERangeError : public Exception {
    using Exception::Exception;
};

// A required pointer or precondition is missing; the message names the unit.
class EAssertionFailed : public Exception {
    using Exception::Exception;
};

// An object does not support the interface it was cast to.
class EIntfCastError : public Exception {
    using Exception::Exception;
};

// Data read from outside (a serialized stream, a record, a raw size) is malformed.
class EReadError : public Exception {
    using Exception::Exception;
};

// An argument is outside what the operation accepts.
class EArgumentError : public Exception {
    using Exception::Exception;
};

// Work was given up before it ran, because the queue that held it was shut down.
class EOperationCancelled : public Exception {
    using Exception::Exception;
};

// Raises EAssertionFailed with "<AMessage> (<AUnitName>)" unless ACondition holds.
void Assert(bool ACondition, const char* AUnitName, const char* AMessage = "Assertion failure");

// printf-style formatting for exception messages ("Channel out of range = %u").
std::string FormatMessage(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));

} // namespace sonvera
