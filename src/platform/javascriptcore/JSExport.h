// Exporting native classes to scripts. An exported class lists, like a
// protocol adopting JSExport, the selectors it offers: instance and class
// methods become functions named after the selector with its colons removed
// and each later keyword capitalised ("moveTo:withSize:" is moveToWithSize),
// unless a rename gives another script name; properties become properties
// of its objects; an initialiser makes the class constructible with `new`.
// Arguments and results convert by their native types (see JSConvert);
// protocols shared by several classes are added with `adopt`.
//
//   static const JSExportClass& exportClass()
//   {
//       static const JSExportClass& c = JSExportClass::define<DRKeyHandler>("Key", &DRHandler::exportClass())
//           .constructor("initWithKey:modifiers:callback:", &DRKeyHandler::create)
//           .method("isEnabled", &DRKeyHandler::isEnabled)
//           .property("key", &DRKeyHandler::key);
//       return c;
//   }
#pragma once

#include "JSContext.h"
#include "JSValue.h"

#include <foundation/NSObject.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

// The call in progress: its context and arguments.
struct JSCallFrame {
    JSContextRef context;
    JSObjectRef thisObject;
    size_t count;
    const JSValueRef* arguments;
    JSValueRef argument(size_t i) const { return i < count ? arguments[i] : JSValueMakeUndefined(context); }
};

// Conversions by native type. Every type a method takes or returns has one.
template <class T, class = void>
struct JSConvert;

template <>
struct JSConvert<bool> {
    static bool from(JSContextRef c, JSValueRef v) { return JSValueToBoolean(c, v); }
    static JSValueRef to(JSContextRef c, bool b) { return JSValueMakeBoolean(c, b); }
};

template <class N>
struct JSConvert<N, std::enable_if_t<std::is_arithmetic_v<N> && !std::is_same_v<N, bool>>> {
    static N from(JSContextRef c, JSValueRef v)
    {
        JSValue value(c, v);
        if constexpr (std::is_floating_point_v<N>)
            return static_cast<N>(value.toDouble());
        else if constexpr (std::is_signed_v<N>)
            return static_cast<N>(value.toInt32());
        else
            return static_cast<N>(value.toUInt32());
    }
    static JSValueRef to(JSContextRef c, N n) { return JSValueMakeNumber(c, static_cast<double>(n)); }
};

template <>
struct JSConvert<std::string> {
    static std::string from(JSContextRef c, JSValueRef v)
    {
        return JSValueIsUndefined(c, v) || JSValueIsNull(c, v) ? std::string() : stringFromJSValue(c, v);
    }
    static JSValueRef to(JSContextRef c, const std::string& s) { return JSValue::string(c, s).valueRef(); }
};

template <>
struct JSConvert<Value> {
    static Value from(JSContextRef c, JSValueRef v) { return valueFromJS(c, v); }
    static JSValueRef to(JSContextRef c, const Value& v) { return valueToJS(c, v); }
};

template <>
struct JSConvert<JSValue> {
    static JSValue from(JSContextRef c, JSValueRef v) { return { c, v }; }
    static JSValueRef to(JSContextRef c, const JSValue& v) { return v.isEmpty() ? JSValueMakeUndefined(c) : v.valueRef(); }
};

template <>
struct JSConvert<CGPoint> {
    static CGPoint from(JSContextRef c, JSValueRef v) { return JSValue(c, v).toPoint(); }
    static JSValueRef to(JSContextRef c, CGPoint p) { return JSValue::point(c, p).valueRef(); }
};

template <>
struct JSConvert<CGSize> {
    static CGSize from(JSContextRef c, JSValueRef v) { return JSValue(c, v).toSize(); }
    static JSValueRef to(JSContextRef c, CGSize s) { return JSValue::size(c, s).valueRef(); }
};

template <>
struct JSConvert<CGRect> {
    static CGRect from(JSContextRef c, JSValueRef v) { return JSValue(c, v).toRect(); }
    static JSValueRef to(JSContextRef c, CGRect r) { return JSValue::rect(c, r).valueRef(); }
};

template <class T>
struct JSConvert<Ref<T>, std::enable_if_t<std::is_base_of_v<NSObject, T>>> {
    static Ref<T> from(JSContextRef c, JSValueRef v) { return std::dynamic_pointer_cast<T>(JSContext::unwrap(c, v)); }
    static JSValueRef to(JSContextRef c, const Ref<T>& o) { return valueToJS(c, Value(std::static_pointer_cast<NSObject>(o))); }
};

template <class T>
struct JSConvert<std::optional<T>> {
    static std::optional<T> from(JSContextRef c, JSValueRef v)
    {
        if (JSValueIsUndefined(c, v) || JSValueIsNull(c, v))
            return std::nullopt;
        return JSConvert<T>::from(c, v);
    }
    static JSValueRef to(JSContextRef c, const std::optional<T>& o)
    {
        return o ? JSConvert<T>::to(c, *o) : JSValueMakeUndefined(c);
    }
};

template <class T>
struct JSConvert<std::vector<T>> {
    static std::vector<T> from(JSContextRef c, JSValueRef v)
    {
        std::vector<T> result;
        JSValue array(c, v);
        if (!array.isArray())
            return result;
        unsigned count = array.property("length").toUInt32();
        for (unsigned i = 0; i < count; ++i)
            result.push_back(JSConvert<T>::from(c, array.property(i).valueRef()));
        return result;
    }
    static JSValueRef to(JSContextRef c, const std::vector<T>& list)
    {
        JSArrayBuilder array(c);
        for (const auto& element : list)
            array.append(JSConvert<T>::to(c, element));
        return array.finish();
    }
};

class JSExportClass {
public:
    using Function = std::function<JSValueRef(const JSCallFrame&, NSObject* self)>;
    using Getter = std::function<JSValueRef(JSContextRef, NSObject& self)>;
    using Setter = std::function<void(JSContextRef, NSObject& self, JSValueRef)>;
    using Constructor = std::function<Ref<NSObject>(const JSCallFrame&)>;
    using Matcher = bool (*)(const NSObject*);

    // A class of native type C, exported under a script name (the name its
    // class object reports), below an exported parent class when it has one.
    template <class C>
    static JSExportClass& define(const std::string& name, const JSExportClass* parent = nullptr)
    {
        return *new JSExportClass(name, parent, [](const NSObject* o) { return dynamic_cast<const C*>(o) != nullptr; });
    }

    // The script name of a selector.
    static std::string scriptNameForSelector(const std::string& selector);

    template <class C, class R, class... A>
    JSExportClass& method(const std::string& selector, R (C::*fn)(A...), const std::string& rename = {})
    {
        return addFunction(m_methods, selector, rename, [fn](const JSCallFrame& f, NSObject* self) {
            return invoke<R, A...>(f, [&](auto&&... a) { return (static_cast<C*>(self)->*fn)(a...); });
        });
    }
    template <class C, class R, class... A>
    JSExportClass& method(const std::string& selector, R (C::*fn)(A...) const, const std::string& rename = {})
    {
        return addFunction(m_methods, selector, rename, [fn](const JSCallFrame& f, NSObject* self) {
            return invoke<R, A...>(f, [&](auto&&... a) { return (static_cast<const C*>(self)->*fn)(a...); });
        });
    }
    // An instance function written as a function of the object, for
    // protocols that several classes adopt.
    template <class R, class... A>
    JSExportClass& method(const std::string& selector, R (*fn)(NSObject&, A...), const std::string& rename = {})
    {
        return addFunction(m_methods, selector, rename, [fn](const JSCallFrame& f, NSObject* self) {
            return invoke<R, A...>(f, [&](auto&&... a) { return fn(*self, a...); });
        });
    }
    template <class R, class... A>
    JSExportClass& classMethod(const std::string& selector, R (*fn)(A...), const std::string& rename = {})
    {
        return addFunction(m_classMethods, selector, rename,
            [fn](const JSCallFrame& f, NSObject*) { return invoke<R, A...>(f, [&](auto&&... a) { return fn(a...); }); });
    }
    // `new Name(...)` calls the factory; a null result makes a TypeError.
    template <class C, class... A>
    JSExportClass& constructor(const std::string& selector, Ref<C> (*factory)(A...))
    {
        m_constructorSelector = selector;
        m_constructor = [factory](const JSCallFrame& f) -> Ref<NSObject> {
            return callWith<Ref<C>, A...>(f, [&](auto&&... a) { return factory(a...); }, std::index_sequence_for<A...> {});
        };
        return *this;
    }
    template <class C, class T>
    JSExportClass& property(const std::string& name, T (C::*getter)() const, void (C::*setter)(T) = nullptr)
    {
        using Plain = std::decay_t<T>;
        Property p;
        p.getter = [getter](JSContextRef c, NSObject& self) {
            return JSConvert<Plain>::to(c, (static_cast<const C&>(self).*getter)());
        };
        if (setter)
            p.setter = [setter](JSContextRef c, NSObject& self, JSValueRef v) {
                (static_cast<C&>(self).*setter)(JSConvert<Plain>::from(c, v));
            };
        m_properties[name] = std::move(p);
        return *this;
    }
    template <class C, class T>
    JSExportClass& property(const std::string& name, T (C::*getter)() const, void (C::*setter)(const T&))
    {
        using Plain = std::decay_t<T>;
        Property p;
        p.getter = [getter](JSContextRef c, NSObject& self) {
            return JSConvert<Plain>::to(c, (static_cast<const C&>(self).*getter)());
        };
        p.setter = [setter](JSContextRef c, NSObject& self, JSValueRef v) {
            (static_cast<C&>(self).*setter)(JSConvert<Plain>::from(c, v));
        };
        m_properties[name] = std::move(p);
        return *this;
    }
    // A read-only property whose getter makes the script value itself, in
    // the context that reads it.
    template <class C>
    JSExportClass& property(const std::string& name, JSValue (C::*getter)(JSContextRef) const)
    {
        Property p;
        p.getter = [getter](JSContextRef c, NSObject& self) {
            return JSConvert<JSValue>::to(c, (static_cast<const C&>(self).*getter)(c));
        };
        m_properties[name] = std::move(p);
        return *this;
    }
    // Adds the methods of a shared protocol.
    JSExportClass& adopt(const std::function<void(JSExportClass&)>& protocol)
    {
        protocol(*this);
        return *this;
    }

    const std::string& name() const { return m_name; }
    const JSExportClass* parent() const { return m_parent; }
    bool isConstructible() const { return static_cast<bool>(m_constructor); }
    const std::string& constructorSelector() const { return m_constructorSelector; }
    bool matches(const NSObject* object) const { return m_matcher(object); }
    size_t depth() const;
    // Script names of the instance and class functions.
    std::vector<std::string> methodNames() const;
    std::vector<std::string> classMethodNames() const;

    // The most derived exported class of an object; null when none.
    static const JSExportClass* classFor(const NSObject* object);

private:
    friend struct JSExportRuntime;
    friend class JSContext;
    struct Property {
        Getter getter;
        Setter setter;
    };

    JSExportClass(std::string name, const JSExportClass* parent, Matcher matcher);
    JSExportClass& addFunction(
        std::map<std::string, Function>& table, const std::string& selector, const std::string& rename, Function f);
    const Property* findProperty(const std::string& name) const;

    template <class R, class... A, class F, size_t... I>
    static R callWith(const JSCallFrame& f, F&& call, std::index_sequence<I...>)
    {
        return call(JSConvert<std::decay_t<A>>::from(f.context, f.argument(I))...);
    }
    template <class R, class... A, class F>
    static JSValueRef invoke(const JSCallFrame& f, F&& call)
    {
        if constexpr (std::is_void_v<R>) {
            callWith<R, A...>(f, call, std::index_sequence_for<A...> {});
            return JSValueMakeUndefined(f.context);
        } else {
            return JSConvert<std::decay_t<R>>::to(f.context, callWith<R, A...>(f, call, std::index_sequence_for<A...> {}));
        }
    }

    std::string m_name;
    const JSExportClass* m_parent;
    Matcher m_matcher;
    std::map<std::string, Function> m_methods;
    std::map<std::string, Function> m_classMethods;
    std::map<std::string, Property> m_properties;
    std::string m_constructorSelector;
    Constructor m_constructor;
};
