#include "NSArrayController.h"

#include <algorithm>

namespace {
const char* const kSelectionKeys[] = { "selectionIndexes", "selectionIndex", "selectedObjects" };
}

NSArrayController::NSArrayController(Value::Array content)
    : m_content(std::move(content))
{
    arrange();
}

void NSArrayController::willChangeSelection() const
{
    for (const char* key : kSelectionKeys)
        willChangeValueForKey(key);
}

void NSArrayController::didChangeSelection() const
{
    for (auto it = std::rbegin(kSelectionKeys); it != std::rend(kSelectionKeys); ++it)
        didChangeValueForKey(*it);
}

void NSArrayController::changeSelection(const std::set<NSUInteger>& selection)
{
    if (selection == m_selection)
        return;
    willChangeSelection();
    m_selection = selection;
    didChangeSelection();
}

void NSArrayController::setContent(const Value& content)
{
    willChangeValueForKey("content");
    if (auto array = content.array())
        m_content = *array;
    else
        m_content.clear();
    didChangeValueForKey("content");
    arrange();
}

void NSArrayController::rearrangeObjects()
{
    // Bound content is the observed array itself, which its owner may change
    // in place without a change notice: arranging reads it again.
    if (apply(NSContentArrayBinding) || apply(NSContentBinding))
        return;
    arrange();
}

void NSArrayController::setSortDescriptors(const std::vector<Ref<NSSortDescriptor>>& descriptors)
{
    willChangeValueForKey("sortDescriptors");
    m_sortDescriptors = descriptors;
    didChangeValueForKey("sortDescriptors");
    arrange();
}

void NSArrayController::arrange(const Value* inserted)
{
    Value::Array arranged = sortedArrayUsingDescriptors(m_content, m_sortDescriptors);
    std::set<NSUInteger> selection;
    if (inserted && m_selectsInsertedObjects) {
        auto it = std::find(arranged.begin(), arranged.end(), *inserted);
        if (it != arranged.end())
            selection.insert(static_cast<NSUInteger>(it - arranged.begin()));
    } else if (m_preservesSelection) {
        for (NSUInteger i : m_selection) {
            if (i >= m_arranged.size())
                continue;
            auto it = std::find(arranged.begin(), arranged.end(), m_arranged[i]);
            if (it != arranged.end())
                selection.insert(static_cast<NSUInteger>(it - arranged.begin()));
        }
    } else {
        for (NSUInteger i : m_selection)
            if (i < arranged.size())
                selection.insert(i);
    }
    if (selection.empty() && m_avoidsEmptySelection && !arranged.empty()) {
        NSUInteger first = selectionIndex();
        selection.insert(first == NSNotFound ? 0 : std::min<NSUInteger>(first, arranged.size() - 1));
    }

    bool selectionChanges = selection != m_selection;
    if (selectionChanges)
        willChangeSelection();
    willChangeValueForKey("arrangedObjects");
    m_arranged = std::move(arranged);
    m_selection = std::move(selection);
    // The objects first, then the selection among them: a view bound to
    // both would otherwise take the new indexes against its old objects
    // (dropping those past their end) and show the wrong ones selected.
    didChangeValueForKey("arrangedObjects");
    if (selectionChanges)
        didChangeSelection();
}

bool NSArrayController::setSelectionIndex(NSUInteger index)
{
    if (index == NSNotFound) {
        changeSelection({});
        return true;
    }
    if (index >= m_arranged.size())
        return false;
    changeSelection({ index });
    return true;
}

bool NSArrayController::setSelectionIndexes(const Ref<NSIndexSet>& indexes)
{
    if (!indexes || indexes->count() == 0) {
        changeSelection({});
        return true;
    }
    if (indexes->lastIndex() >= m_arranged.size())
        return false;
    changeSelection(indexes->indexes());
    return true;
}

Value::Array NSArrayController::selectedObjects() const
{
    Value::Array objects;
    for (NSUInteger i : m_selection)
        if (i < m_arranged.size())
            objects.push_back(m_arranged[i]);
    return objects;
}

bool NSArrayController::setSelectedObjects(const Value::Array& objects)
{
    std::set<NSUInteger> selection;
    for (const auto& object : objects) {
        auto it = std::find(m_arranged.begin(), m_arranged.end(), object);
        if (it != m_arranged.end())
            selection.insert(static_cast<NSUInteger>(it - m_arranged.begin()));
    }
    if (selection.empty())
        return false;
    changeSelection(selection);
    return true;
}

void NSArrayController::addObject(const Value& object)
{
    willChangeValueForKey("content");
    m_content.push_back(object);
    didChangeValueForKey("content");
    arrange(&object);
}

void NSArrayController::insertObject(const Value& object, NSUInteger arrangedIndex)
{
    // The arranged index maps to the content position of the object there.
    size_t position = m_content.size();
    if (arrangedIndex < m_arranged.size()) {
        auto it = std::find(m_content.begin(), m_content.end(), m_arranged[arrangedIndex]);
        if (it != m_content.end())
            position = static_cast<size_t>(it - m_content.begin());
    }
    willChangeValueForKey("content");
    m_content.insert(m_content.begin() + static_cast<long>(position), object);
    didChangeValueForKey("content");
    arrange(&object);
}

void NSArrayController::removeObject(const Value& object)
{
    auto it = std::find(m_content.begin(), m_content.end(), object);
    if (it == m_content.end())
        return;
    willChangeValueForKey("content");
    m_content.erase(it);
    didChangeValueForKey("content");
    arrange();
}

void NSArrayController::removeObjectAtArrangedObjectIndex(NSUInteger index)
{
    if (index < m_arranged.size())
        removeObject(Value(m_arranged[index]));
}

Value NSArrayController::valueForKey(const std::string& key) const
{
    if (key == "content")
        return Value(m_content);
    if (key == "arrangedObjects")
        return Value(m_arranged);
    if (key == "selectionIndex")
        return Value(static_cast<int64_t>(selectionIndex()));
    if (key == "selectionIndexes")
        return Value(selectionIndexes());
    if (key == "selectedObjects")
        return Value(selectedObjects());
    if (key == "sortDescriptors") {
        Value::Array list;
        for (const auto& d : m_sortDescriptors)
            list.push_back(Value(d));
        return Value(list);
    }
    return NSController::valueForKey(key);
}

void NSArrayController::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "content" || key == "contentArray")
        setContent(value);
    else if (key == "selectionIndex")
        setSelectionIndex(static_cast<NSUInteger>(value.integerValue()));
    else if (key == "selectionIndexes")
        setSelectionIndexes(value.objectAs<NSIndexSet>());
    else if (key == "selectedObjects")
        setSelectedObjects(value.array() ? *value.array() : Value::Array {});
    else if (key == "sortDescriptors") {
        std::vector<Ref<NSSortDescriptor>> list;
        if (auto array = value.array())
            for (const auto& v : *array)
                if (auto d = v.objectAs<NSSortDescriptor>())
                    list.push_back(d);
        setSortDescriptors(list);
    } else
        NSController::setValueForKey(value, key);
}

void NSArrayController::setValueForBinding(const Value& value, const std::string& binding)
{
    if (binding == NSContentArrayBinding || binding == NSContentBinding)
        setContent(value);
    else
        NSKeyValueBindingCreation::setValueForBinding(value, binding);
}
