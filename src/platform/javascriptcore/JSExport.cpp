#include "JSExport.h"

#include <cctype>
#include <mutex>

namespace {

std::mutex gClassesMutex;
std::vector<const JSExportClass*>& exportedClasses()
{
    static std::vector<const JSExportClass*> classes;
    return classes;
}

}

JSExportClass::JSExportClass(std::string name, const JSExportClass* parent, Matcher matcher)
    : m_name(std::move(name))
    , m_parent(parent)
    , m_matcher(matcher)
{
    std::lock_guard lock(gClassesMutex);
    exportedClasses().push_back(this);
}

std::string JSExportClass::scriptNameForSelector(const std::string& selector)
{
    std::string name;
    bool capitalise = false;
    for (char c : selector) {
        if (c == ':') {
            capitalise = true;
            continue;
        }
        name += capitalise ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        capitalise = false;
    }
    return name;
}

JSExportClass& JSExportClass::addFunction(
    std::map<std::string, Function>& table, const std::string& selector, const std::string& rename, Function f)
{
    table[rename.empty() ? scriptNameForSelector(selector) : rename] = std::move(f);
    return *this;
}

const JSExportClass::Property* JSExportClass::findProperty(const std::string& name) const
{
    for (const JSExportClass* c = this; c; c = c->m_parent) {
        auto it = c->m_properties.find(name);
        if (it != c->m_properties.end())
            return &it->second;
    }
    return nullptr;
}

size_t JSExportClass::depth() const
{
    size_t depth = 0;
    for (const JSExportClass* c = m_parent; c; c = c->m_parent)
        ++depth;
    return depth;
}

std::vector<std::string> JSExportClass::methodNames() const
{
    std::vector<std::string> names;
    for (const auto& [name, function] : m_methods)
        names.push_back(name);
    return names;
}

std::vector<std::string> JSExportClass::classMethodNames() const
{
    std::vector<std::string> names;
    for (const auto& [name, function] : m_classMethods)
        names.push_back(name);
    return names;
}

const JSExportClass* JSExportClass::classFor(const NSObject* object)
{
    if (!object)
        return nullptr;
    std::lock_guard lock(gClassesMutex);
    const JSExportClass* best = nullptr;
    for (const JSExportClass* c : exportedClasses())
        if (c->matches(object) && (!best || c->depth() > best->depth()))
            best = c;
    return best;
}
