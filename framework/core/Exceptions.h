#pragma once
// The exception kinds the program's failures travel as. Every failure is an exception whose
// Message() is exactly the text the default error display shows (before its full-stop rule).
// Messages are 8-bit strings in the system's code page, as they come from files and the server.

#include <exception>
#include <string>

namespace vcl {

/// Base of every failure the program reports.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    /// The text the user is shown.
    const std::string& Message() const noexcept { return message_; }
    /// The class name, as the last-resort error report prints it.
    virtual const char* ClassName() const noexcept { return "Exception"; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

#define VCL_EXCEPTION_CLASS(Name, Base)                                                            \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
        const char* ClassName() const noexcept override { return #Name; }                          \
    }

/// The silent kind: the default error display drops it without a word.
VCL_EXCEPTION_CLASS(EAbort, Exception);
/// Stream and file failures.
VCL_EXCEPTION_CLASS(EStreamError, Exception);
/// A file that cannot be opened: "Cannot open file "%s". %s".
VCL_EXCEPTION_CLASS(EFOpenError, EStreamError);
/// A string list that cannot take another line.
VCL_EXCEPTION_CLASS(EStringListError, Exception);
/// A component that cannot be created, such as a second field of the same name.
VCL_EXCEPTION_CLASS(EComponentError, Exception);
/// Base of every database failure.
VCL_EXCEPTION_CLASS(EDatabaseError, Exception);

/// An operating-system failure with its error code: "System Error.  Code: %d." and the system's
/// text.
class EOSError : public Exception {
public:
    EOSError(int errorCode, std::string description);
    int ErrorCode() const noexcept { return errorCode_; }
    const char* ClassName() const noexcept override { return "EOSError"; }

private:
    int errorCode_;
};

/// The platform's line break (CR LF on Windows, LF elsewhere), as the framework's own texts use it.
extern const char* const sLineBreak;

/// The text the default error display shows for a message: a full stop is appended when the
/// message is not empty and its last character's code is above that of the full stop (0x2E).
std::string WithDisplayFullStop(const std::string& message);

} // namespace vcl
