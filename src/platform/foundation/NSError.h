// Errors as the platform reports them: a domain, a code and a dictionary of
// details (description, failure reason, the underlying error).
#pragma once

#include "NSObject.h"
#include "Value.h"

#include <string>

inline const std::string NSLocalizedDescriptionKey = "NSLocalizedDescription";
inline const std::string NSLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline const std::string NSUnderlyingErrorKey = "NSUnderlyingError";

class NSError : public NSObject {
public:
    NSError(std::string domain, long code, Value::Dictionary userInfo = {})
        : m_domain(std::move(domain))
        , m_code(code)
        , m_userInfo(std::move(userInfo))
    {
    }
    static Ref<NSError> errorWithDomain(const std::string& domain, long code, Value::Dictionary userInfo = {})
    {
        return makeRef<NSError>(domain, code, std::move(userInfo));
    }

    const std::string& domain() const { return m_domain; }
    long code() const { return m_code; }
    const Value::Dictionary& userInfo() const { return m_userInfo; }
    // The description given, or one made of the domain and code.
    std::string localizedDescription() const;
    std::string localizedFailureReason() const;
    Ref<NSError> underlyingError() const;
    std::string description() const override;

private:
    std::string m_domain;
    long m_code;
    Value::Dictionary m_userInfo;
};
