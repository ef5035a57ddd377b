// Controllers: NSController, and NSArrayController, which arranges an array
// (sorted by its sort descriptors) and keeps the selection in it.
//
// Selection rules:
// - selectionIndex is the first selected index, NSNotFound when none;
//   setting NSNotFound (or an empty set) clears the selection; an index out
//   of range leaves the selection as it was and answers NO.
// - When the arranged objects change (new content, new sort descriptors,
//   rearrangeObjects), the selection keeps the same objects if
//   preservesSelection is on, else the same indexes that are still in
//   range. If that leaves nothing selected while the list is not empty and
//   avoidsEmptySelection is on, the old first index, clamped to the last
//   entry, is selected (the first entry when nothing was selected).
// - With selectsInsertedObjects, addObject and insertObject select the
//   object added.
//
// Key-value observable keys: "content", "arrangedObjects",
// "selectionIndex", "selectionIndexes", "selectedObjects",
// "sortDescriptors". Bindings: "contentArray" and "content" feed the
// content, "selectionIndexes" the selection.
#pragma once

#include "NSIndexSet.h"
#include "NSKeyValueBinding.h"
#include "NSSortDescriptor.h"

#include <foundation/NSObject.h>

class NSController : public NSObject, public NSKeyValueBindingCreation {
public:
    virtual bool commitEditing() { return true; }
};

class NSArrayController : public NSController {
public:
    NSArrayController() = default;
    // initWithContent:.
    explicit NSArrayController(Value::Array content);

    const Value::Array& content() const { return m_content; }
    // A value that is not an array makes the content empty.
    void setContent(const Value& content);
    const Value::Array& arrangedObjects() const { return m_arranged; }
    // Arranges the content again; bound content is read again first.
    void rearrangeObjects();
    const std::vector<Ref<NSSortDescriptor>>& sortDescriptors() const { return m_sortDescriptors; }
    void setSortDescriptors(const std::vector<Ref<NSSortDescriptor>>& descriptors);

    NSUInteger selectionIndex() const { return m_selection.empty() ? NSNotFound : *m_selection.begin(); }
    bool setSelectionIndex(NSUInteger index);
    Ref<NSIndexSet> selectionIndexes() const { return makeRef<NSIndexSet>(m_selection); }
    bool setSelectionIndexes(const Ref<NSIndexSet>& indexes);
    Value::Array selectedObjects() const;
    // Selects the given objects that are arranged; false when none is.
    bool setSelectedObjects(const Value::Array& objects);

    bool avoidsEmptySelection() const { return m_avoidsEmptySelection; }
    void setAvoidsEmptySelection(bool flag) { m_avoidsEmptySelection = flag; }
    bool preservesSelection() const { return m_preservesSelection; }
    void setPreservesSelection(bool flag) { m_preservesSelection = flag; }
    bool selectsInsertedObjects() const { return m_selectsInsertedObjects; }
    void setSelectsInsertedObjects(bool flag) { m_selectsInsertedObjects = flag; }

    void addObject(const Value& object);
    void insertObject(const Value& object, NSUInteger arrangedIndex);
    void removeObject(const Value& object);
    void removeObjectAtArrangedObjectIndex(NSUInteger index);

    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

protected:
    void setValueForBinding(const Value& value, const std::string& binding) override;

private:
    // Rebuilds the arranged objects and re-checks the selection; the
    // inserted object, when given, is selected.
    void arrange(const Value* inserted = nullptr);
    void changeSelection(const std::set<NSUInteger>& selection);
    void willChangeSelection() const;
    void didChangeSelection() const;

    Value::Array m_content;
    Value::Array m_arranged;
    std::vector<Ref<NSSortDescriptor>> m_sortDescriptors;
    std::set<NSUInteger> m_selection;
    bool m_avoidsEmptySelection { true };
    bool m_preservesSelection { true };
    bool m_selectsInsertedObjects { true };
};
