#pragma once
// Database failures: fixed texts of this layer (EIBClientError) and failures the client library
// reports (EIBInterBaseError, EIBInterBaseRoleError for SQL code -551), composed from the status
// vector of the failing call.

#include "core/Exceptions.h"

#include <ibase.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ibx {

/// Base of this layer's failures; carries the SQL code and the engine error code (0 for own texts).
class EIBError : public vcl::EDatabaseError {
public:
    explicit EIBError(std::string message, int sqlCode = 0, std::int64_t ibErrorCode = 0)
        : EDatabaseError(std::move(message)), sqlCode_(sqlCode), ibErrorCode_(ibErrorCode) {}
    int SQLCode() const noexcept { return sqlCode_; }
    std::int64_t IBErrorCode() const noexcept { return ibErrorCode_; }
    const char* ClassName() const noexcept override { return "EIBError"; }

private:
    int sqlCode_;
    std::int64_t ibErrorCode_;
};

/// A check of this layer failed before or instead of a call into the client library.
class EIBClientError : public EIBError {
public:
    using EIBError::EIBError;
    const char* ClassName() const noexcept override { return "EIBClientError"; }
};

/// A call into the client library reported a failure.
class EIBInterBaseError : public EIBError {
public:
    using EIBError::EIBError;
    const char* ClassName() const noexcept override { return "EIBInterBaseError"; }
};

/// The same, for SQL code -551 (no permission).
class EIBInterBaseRoleError : public EIBError {
public:
    using EIBError::EIBError;
    const char* ClassName() const noexcept override { return "EIBInterBaseRoleError"; }
};

/// Joins the client library's message lines: CR LF before each line unless the text so far is
/// empty or ends with LF; then one final full stop is removed.
std::string ComposeErrorText(const std::vector<std::string>& lines);

/// Turns a failed call's status vector into EIBInterBaseError or EIBInterBaseRoleError.
[[noreturn]] void RaiseStatus(const ISC_STATUS* status);

/// Raises the status when the call's result reports a failure.
inline void Check(ISC_STATUS result, const ISC_STATUS* status) {
    if (result != 0)
        RaiseStatus(status);
}

} // namespace ibx
