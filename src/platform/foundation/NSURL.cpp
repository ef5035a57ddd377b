#include "NSURL.h"

#include <cctype>
#include <filesystem>
#include <string_view>

Ref<NSURL> NSURL::fileURLWithPath(const std::string& path)
{
    if (path.empty())
        return nullptr;
    std::error_code ignored;
    std::string normal = std::filesystem::absolute(path, ignored).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return makeRef<NSURL>(normal);
}

std::string NSURL::absoluteString() const
{
    static const char* hex = "0123456789ABCDEF";
    std::string text = "file://";
    for (unsigned char c : m_path) {
        if (std::isalnum(c) || std::string_view("/-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos) {
            text += static_cast<char>(c);
        } else {
            text += '%';
            text += hex[c >> 4];
            text += hex[c & 15];
        }
    }
    return text;
}

std::string NSURL::lastPathComponent() const
{
    auto slash = m_path.rfind('/');
    return slash == std::string::npos ? m_path : m_path.substr(slash + 1);
}

bool NSURL::isEqual(const NSObject* other) const
{
    auto url = dynamic_cast<const NSURL*>(other);
    return url && url->m_path == m_path;
}

size_t NSURL::hash() const { return std::hash<std::string> {}(m_path); }
