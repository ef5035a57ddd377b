#include <javascriptcore/JSExport.h>

#include <foundation/RunLoop.h>

#include <gtest/gtest.h>

#include <chrono>

// A full collection now (the public call only hints that one is due).
extern "C" void JSSynchronousGarbageCollectForDebugging(JSContextRef);

namespace {

class Counter : public NSObject {
public:
    static Ref<Counter> create(double start) { return makeRef<Counter>(start); }
    explicit Counter(double start)
        : m_value(start)
    {
        ++s_alive;
    }
    ~Counter() override { --s_alive; }
    double value() const { return m_value; }
    void setValue(double value) { m_value = value; }
    double addTo(double a, double b) { return m_value += a + b; }
    CGRect frame() const { return CGRectMake(1, 2, 3, 4); }
    CGRect grow(CGRect r) const { return CGRectMake(r.origin.x - 1, r.origin.y - 1, r.size.width + 2, r.size.height + 2); }
    std::string name() const { return m_name; }
    void setName(const std::string& name) { m_name = name; }
    Value echo(Value v) const { return v; }
    void fail() const { JSContext::currentContext()->setException(JSContext::currentContext()->makeError("failed on purpose")); }
    static std::vector<Ref<Counter>> pair() { return { makeRef<Counter>(1), makeRef<Counter>(2) }; }
    // count elements: strings, and every tenth an object holding a string
    // and an array of one.
    static Value many(double count)
    {
        Value::Array list;
        for (int i = 0; i < static_cast<int>(count); ++i) {
            std::string text = "element " + std::to_string(i) + std::string(100, '.');
            if (i % 10)
                list.emplace_back(text);
            else
                list.emplace_back(Value::Dictionary { { "text", text }, { "list", Value::Array { Value(text) } } });
        }
        return list;
    }
    static std::optional<std::string> maybe(bool give) { return give ? std::optional<std::string>("yes") : std::nullopt; }

    void keep(JSValue callback) { m_callback = JSManagedValue(callback, this); }
    JSValue kept() const { return m_callback.value(); }

    static const JSExportClass& exportClass()
    {
        static const JSExportClass& c = JSExportClass::define<Counter>("Counter")
                                            .constructor("initWithStart:", &Counter::create)
                                            .method("addTo:and:", &Counter::addTo)
                                            .method("frame", &Counter::frame)
                                            .method("grow:", &Counter::grow)
                                            .method("echo:", &Counter::echo)
                                            .method("fail", &Counter::fail)
                                            .method("keep:", &Counter::keep)
                                            .classMethod("pair", &Counter::pair)
                                            .classMethod("maybe:", &Counter::maybe, "perhaps")
                                            .classMethod("many:", &Counter::many)
                                            .property("value", &Counter::value, &Counter::setValue)
                                            .property("name", &Counter::name, &Counter::setName)
                                            .property("frozen", &Counter::value);
        return c;
    }
    static inline int s_alive = 0;

private:
    double m_value;
    std::string m_name;
    JSManagedValue m_callback;
};

struct Bridge : ::testing::Test {
    Bridge()
    {
        context = JSContext::create();
        context->setObject("Counter", context->classObject(Counter::exportClass()));
        context->setExceptionHandler([this](JSContext&, const JSValue& e) { exceptions.push_back(e.toString() + " @" + e.property("line").toString()); });
    }
    std::string eval(const std::string& script) { return context->evaluateScript(script).toString(); }
    Ref<JSContext> context;
    std::vector<std::string> exceptions;
};

TEST_F(Bridge, SelectorsPropertiesAndConversions)
{
    EXPECT_EQ(JSExportClass::scriptNameForSelector("focusClosestNeighbor:"), "focusClosestNeighbor");
    EXPECT_EQ(JSExportClass::scriptNameForSelector("launch:withOptionals:"), "launchWithOptionals");
    EXPECT_EQ(eval("var c = new Counter(5); c.addToAnd(1, 2)"), "8");
    EXPECT_EQ(eval("c.value = 2; c.value"), "2");
    EXPECT_EQ(eval("c.frozen = 9; c.frozen"), "2") << "a read-only property ignores assignments";
    EXPECT_EQ(eval("c.name = 'x y'; c.name"), "x y");
    EXPECT_EQ(eval("JSON.stringify(c.frame())"), R"({"x":1,"y":2,"width":3,"height":4})");
    EXPECT_EQ(eval("JSON.stringify(c.grow({x: 0, y: 0, width: 10, height: 10}))"), R"({"x":-1,"y":-1,"width":12,"height":12})");
    EXPECT_EQ(eval("JSON.stringify(c.echo({a: [1, 'b', true, null], n: 1.5}))"), R"({"a":[1,"b",true,null],"n":1.5})");
    EXPECT_EQ(eval("Counter.pair().map(function (x) { return x.value; }).join()"), "1,2");
    EXPECT_EQ(eval("Counter.perhaps(true) + ' ' + Counter.perhaps(false)"), "yes undefined");
    EXPECT_EQ(eval("c instanceof Counter && c.constructor === Counter"), "true");
    EXPECT_EQ(eval("var o = {}; o.self = o; JSON.stringify(Object.keys(c.echo(o)))"), R"(["self"])") << "cycles end";
    EXPECT_TRUE(exceptions.empty());
}

TEST_F(Bridge, SameObjectSameScriptObjectAndExceptions)
{
    auto counter = makeRef<Counter>(3);
    context->setObject("shared", JSValue::object(context->globalContextRef(), counter));
    context->setObject("again", JSValue::object(context->globalContextRef(), counter));
    EXPECT_EQ(eval("shared === again"), "true");
    EXPECT_EQ(eval("try { shared.fail(); 'no' } catch (e) { e.message }"), "failed on purpose");
    eval("\n\nshared.fail()");
    ASSERT_EQ(exceptions.size(), 1u);
    EXPECT_EQ(exceptions[0], "Error: failed on purpose @3");
    eval("Counter.prototype.addToAnd.call({}, 1, 2)");
    ASSERT_EQ(exceptions.size(), 2u) << "a method called on a foreign object throws instead of crashing";
    eval("(function () {");
    ASSERT_EQ(exceptions.size(), 3u);
    EXPECT_NE(exceptions[2].find("SyntaxError"), std::string::npos);
}

TEST_F(Bridge, ManagedValuesLiveWithTheirOwnersScriptObject)
{
    int before = Counter::s_alive;
    eval("var k = new Counter(0); k.keep(function () { return 42; });");
    auto kept = context->objectForKeyedSubscript("k").toObjectOf<Counter>();
    ASSERT_TRUE(kept);
    context->garbageCollect();
    EXPECT_EQ(kept->kept().call({}).toString(), "42") << "the owner's script object keeps the function";
    // Where it keeps it is out of the scripts' reach.
    EXPECT_EQ(eval("typeof k.__managedValues + ' ' + Reflect.ownKeys(k).length + ' ' + Object.keys(k).length"), "undefined 0 0");
    eval("k.__managedValues = null; delete k.__managedValues;");
    context->garbageCollect();
    EXPECT_EQ(kept->kept().call({}).toString(), "42");
    kept.reset();
    eval("k = null;");
    context->garbageCollect();
    RunLoop::main().runUntilIdle();
    EXPECT_LE(Counter::s_alive, before + 1);
    auto survivor = makeRef<Counter>(0);
    context->setObject("s", JSValue::object(context->globalContextRef(), survivor));
    eval("s.keep(function () { return 1; })");
    context->invalidate();
    EXPECT_TRUE(survivor->kept().isEmpty()) << "an invalidated context drops its managed values";
    EXPECT_TRUE(context->evaluateScript("1").isEmpty());
}

TEST_F(Bridge, EveryElementOfALargeArrayOutlivesTheCollectionsWhileItIsMade)
{
    // Making 100,000 elements collects several times on the way; an element
    // the collector could not see would be freed and read back wrong.
    eval("var made = Counter.many(100000);");
    JSSynchronousGarbageCollectForDebugging(context->globalContextRef());
    EXPECT_EQ(eval("var wrong = 0; for (var i = 0; i < made.length; ++i) {"
                   "  var e = made[i], text = 'element ' + i + '.'.repeat(100);"
                   "  if (i % 10 ? e !== text : e.text !== text || e.list.length !== 1 || e.list[0] !== text) ++wrong;"
                   "} made.length + ' ' + wrong"),
        "100000 0");
    std::vector<Ref<Counter>> counters;
    for (int i = 0; i < 20000; ++i)
        counters.push_back(makeRef<Counter>(i));
    JSValue list(context->globalContextRef(), JSConvert<std::vector<Ref<Counter>>>::to(context->globalContextRef(), counters));
    JSSynchronousGarbageCollectForDebugging(context->globalContextRef());
    EXPECT_EQ(list.property(19999).toObjectOf<Counter>(), counters.back());
    EXPECT_TRUE(exceptions.empty());
}

TEST(BridgeTimeLimit, AScriptThatNeverReturnsIsStopped)
{
    auto machine = std::make_shared<JSVirtualMachine>();
    machine->setExecutionTimeLimit(0.05);
    auto context = JSContext::create(machine);
    std::string seen;
    context->setExceptionHandler([&](JSContext&, const JSValue& e) { seen = e.toString(); });
    context->evaluateScript("try { for (;;) {} } catch (e) {}");
    EXPECT_NE(seen.find("terminated"), std::string::npos) << seen;
    EXPECT_EQ(context->evaluateScript("6 * 7").toString(), "42") << "the next script runs";
}

TEST(BridgeTimeLimit, WallTimeStopsAScriptThatGetsLittleProcessorTime)
{
    auto machine = std::make_shared<JSVirtualMachine>();
    machine->setExecutionTimeLimit(1);
    // A machine so busy that a second of wall time gives the script a
    // fortieth of a second of processor time.
    auto started = std::chrono::steady_clock::now();
    machine->setWallClock([started] { return 40 * std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); });
    auto context = JSContext::create(machine);
    std::string seen;
    context->setExceptionHandler([&](JSContext&, const JSValue& e) { seen = e.toString(); });
    {
        JSExecutionScope scope(context->globalContextRef(), "the busy test");
        context->evaluateScript("for (;;) {}", "/busy.js");
    }
    EXPECT_NE(seen.find("terminated"), std::string::npos) << seen;
    std::string report = machine->takeTerminationReport();
    EXPECT_EQ(report.rfind("the busy test ran past the time limit of 1 s (3 s of wall time).", 0), 0u) << report;
    EXPECT_NE(report.find("/busy.js:1"), std::string::npos) << report;
    EXPECT_EQ(machine->takeTerminationReport(), "") << "taken once";
}

}
