#include "NSError.h"

#include "Format.h"

std::string NSError::localizedDescription() const
{
    auto it = m_userInfo.find(NSLocalizedDescriptionKey);
    if (it != m_userInfo.end() && it->second.isString())
        return *it->second.string();
    return stringWithFormat("The operation couldn’t be completed. (%s error %ld.)", m_domain, m_code);
}

std::string NSError::localizedFailureReason() const
{
    auto it = m_userInfo.find(NSLocalizedFailureReasonErrorKey);
    return it != m_userInfo.end() ? it->second.stringValue() : std::string();
}

Ref<NSError> NSError::underlyingError() const
{
    auto it = m_userInfo.find(NSUnderlyingErrorKey);
    return it != m_userInfo.end() ? it->second.objectAs<NSError>() : nullptr;
}

std::string NSError::description() const
{
    return stringWithFormat("Error Domain=%s Code=%ld \"%s\"", m_domain, m_code, localizedDescription());
}
