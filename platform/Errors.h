#pragma once

#include <stdexcept>
#include <string>

// Every failure is raised as one of these; the message is the text a user or a log sees.
class EYstreloError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An index outside an array, or a value outside its declared range.
class ERangeError : public EYstreloError {
public:
    ERangeError() : EYstreloError("Range check error") {}
};

class EIntOverflow : public EYstreloError {
public:
    EIntOverflow() : EYstreloError("Integer overflow") {}
};

class EDivByZero : public EYstreloError {
public:
    EDivByZero() : EYstreloError("Division by zero") {}
};

// An internal consistency check; the message names "Class.Method: what".
class EAssertionFailed : public EYstreloError {
public:
    using EYstreloError::EYstreloError;
};

// A file or other resource could not be read or written. The message is the one callers
// know; Reason, where known, is the system's word for why.
class EInOutError : public EYstreloError {
public:
    explicit EInOutError(const std::string& Message, int Reason = 0)
        : EYstreloError(Message), FReason(Reason) {}
    // An errno value; 0 when unknown.
    int Reason() const { return FReason; }

private:
    int FReason;
};

inline void Assert(bool Condition, const char* Message) {
    if (!Condition)
        throw EAssertionFailed(Message);
}
