#include "model/EBEventful.h"

#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

namespace {

class Listener : public NSObject {
public:
    std::vector<std::string> heard;
    void handle(const EBEvent& event) { heard.push_back("handle " + std::to_string(event.eventId())); }
};

class SelfRemovingListener : public Listener {
public:
    ~SelfRemovingListener() override { EBEventful::sharedInstance().stopReceivingEventsForObject(this); }
};

class EBEventfulTest : public ::testing::Test {
protected:
    void SetUp() override { EBEventful::resetForTesting(); }
    void TearDown() override { EBEventful::resetForTesting(); }

    EBEventful& bus = EBEventful::sharedInstance();
    std::vector<std::string> log;
    std::function<void()> success = [this] { log.push_back("success"); };
    std::function<void()> fail = [this] { log.push_back("fail"); };

    EBEventBlock record(const std::string& name)
    {
        return [this, name](const EBEvent& e) {
            log.push_back(name + " " + std::to_string(e.eventId()) + " #" + std::to_string(e.triggerCount()));
        };
    }
};

using Log = std::vector<std::string>;

TEST_F(EBEventfulTest, EventIdsHaveTheirNumbers)
{
    EXPECT_EQ(QuitAppKeyEvent, 1000u);
    EXPECT_EQ(ControlArrowKeyEvent, 1001u);
    EXPECT_EQ(HideAppKeyEvent, 1002u);
    EXPECT_EQ(WindowListChangedEvent, 3000u);
}

TEST_F(EBEventfulTest, DeliversInRegistrationOrderWithTheEventFields)
{
    auto a = makeRef<Listener>(), b = makeRef<Listener>();
    auto sender = makeRef<Listener>();
    Value seenData;
    Ref<NSObject> seenSender;
    unsigned long seenLimit = 0;
    bus.receiveEvent(ControlArrowKeyEvent, a, record("a"));
    bus.receiveEvent(ControlArrowKeyEvent, b, [&](const EBEvent& e) {
        log.push_back("b");
        seenData = e.data();
        seenSender = e.sender();
        seenLimit = e.triggerLimit();
    });
    bus.sendEvent(ControlArrowKeyEvent, sender, Value::Dictionary { { "KeyCode", 123 } }, success, fail);
    EXPECT_EQ(log, (Log { "a 1001 #1", "success", "b", "success" }));
    EXPECT_EQ(seenData["KeyCode"], Value(123));
    EXPECT_EQ(seenSender, sender);
    EXPECT_EQ(seenLimit, EBUnlimitedTriggers);
}

TEST_F(EBEventfulTest, LimitOfTwoFiresTwiceThenFails)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, 2, record("a"));
    for (int i = 0; i < 3; ++i)
        bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_EQ(log, (Log { "a 1000 #1", "success", "a 1000 #2", "success", "fail" }));
    // The exhausted registration stays.
    auto registrations = bus.receiversForEvent(QuitAppKeyEvent);
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0]->triggerCount(), 2u);
    EXPECT_EQ(registrations[0]->triggerLimit(), 2u);
}

TEST_F(EBEventfulTest, ExhaustedRegistrationFailsWhileOthersStillReceive)
{
    auto a = makeRef<Listener>(), b = makeRef<Listener>();
    bus.receiveEvent(HideAppKeyEvent, a, 1, record("a"));
    bus.receiveEvent(HideAppKeyEvent, b, record("b"));
    bus.sendEvent(HideAppKeyEvent, nullptr, {}, success, fail);
    log.clear();
    bus.sendEvent(HideAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_EQ(log, (Log { "fail", "b 1002 #2", "success" }));
}

TEST_F(EBEventfulTest, LimitOfZeroNeverFires)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, 0, record("a"));
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_EQ(log, (Log { "fail" }));
}

TEST_F(EBEventfulTest, DoubleRegistrationDeliversTwiceAndStopsTogether)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, record("first"));
    bus.receiveEvent(QuitAppKeyEvent, a, record("second"));
    EXPECT_EQ(bus.eventIdsForReceiver(a.get()), (std::vector<EBEventId> { 1000, 1000 }));
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_EQ(log, (Log { "first 1000 #1", "second 1000 #1" }));

    bus.stopReceivingEventsForObject(a.get());
    log.clear();
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(bus.receiversForEvent(QuitAppKeyEvent).empty());
    EXPECT_TRUE(bus.eventIdsForReceiver(a.get()).empty());
}

TEST_F(EBEventfulTest, UnknownIdFailsOnceEmptiedIdDoesNothing)
{
    bus.sendEvent(3000, nullptr, {}, success, fail);
    EXPECT_EQ(log, (Log { "fail" }));
    EXPECT_FALSE(bus.hasEventList(3000));

    auto a = makeRef<Listener>(), b = makeRef<Listener>();
    bus.receiveEvent(WindowListChangedEvent, a, record("a"));
    bus.receiveEvent(WindowListChangedEvent, b, record("b"));
    bus.stopReceivingEventsForObject(a.get());
    bus.stopReceivingEventsForObject(b.get());
    log.clear();
    bus.sendEvent(WindowListChangedEvent, nullptr, {}, success, fail);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(bus.hasEventList(WindowListChangedEvent));
}

TEST_F(EBEventfulTest, StopReceivingOneIdKeepsTheOthers)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, record("quit"));
    bus.receiveEvent(ControlArrowKeyEvent, a, record("arrow"));
    bus.receiveEvent(ControlArrowKeyEvent, a, record("arrow2"));
    bus.stopReceivingEventId(ControlArrowKeyEvent, a.get());
    EXPECT_EQ(bus.eventIdsForReceiver(a.get()), (std::vector<EBEventId> { 1000 }));
    bus.sendEvent(ControlArrowKeyEvent, nullptr, {}, success, fail);
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_EQ(log, (Log { "quit 1000 #1", "success" }));
}

TEST_F(EBEventfulTest, StoppingOneReceiverLeavesOtherReceiversOfTheId)
{
    auto a = makeRef<Listener>(), b = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, record("a"));
    bus.receiveEvent(QuitAppKeyEvent, b, record("b"));
    bus.stopReceivingEventId(QuitAppKeyEvent, a.get());
    bus.stopReceivingEventsForObject(makeRef<Listener>().get());
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_EQ(log, (Log { "b 1000 #1" }));
}

TEST_F(EBEventfulTest, SelectorRegistrationsCallTheMemberFunction)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, &Listener::handle);
    bus.receiveEvent(HideAppKeyEvent, 1, a, &Listener::handle);
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    bus.sendEvent(HideAppKeyEvent, nullptr, {});
    bus.sendEvent(HideAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_EQ(a->heard, (Log { "handle 1000", "handle 1002" }));
    EXPECT_EQ(log, (Log { "fail" }));
}

TEST_F(EBEventfulTest, BlockWinsOverSelector)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(
        QuitAppKeyEvent, EBUnlimitedTriggers, a,
        [](NSObject& receiver, const EBEvent& e) { static_cast<Listener&>(receiver).handle(e); },
        record("block"));
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_EQ(log, (Log { "block 1000 #1" }));
    EXPECT_TRUE(a->heard.empty());
}

TEST_F(EBEventfulTest, RegistrationWithoutAReceiverIsRefused)
{
    LogCapture capture;
    bus.receiveEvent(QuitAppKeyEvent, nullptr, record("nobody"));
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_EQ(log, (Log { "fail" }));
    EXPECT_EQ(capture.count("without a receiver"), 1u);
}

// The process-wide pointer.

TEST_F(EBEventfulTest, SendsThroughTheProcessPointerBeforeFirstUseAreDropped)
{
    EBEventful::resetForTesting();
    EXPECT_EQ(EBEventful::processBus(), nullptr);
    auto sendThroughPointer = [&] {
        if (auto* bus = EBEventful::processBus())
            bus->sendEvent(WindowListChangedEvent, nullptr, {}, success, fail);
    };
    sendThroughPointer();
    EXPECT_TRUE(log.empty());

    auto a = makeRef<Listener>();
    EBEventful::sharedInstance().receiveEvent(WindowListChangedEvent, a, record("a"));
    EXPECT_EQ(EBEventful::processBus(), &EBEventful::sharedInstance());
    sendThroughPointer();
    EXPECT_EQ(log, (Log { "a 3000 #1", "success" }));
}

// Lifetimes.

TEST_F(EBEventfulTest, BusDoesNotKeepReceiversAlive)
{
    auto a = makeRef<Listener>();
    Weak<Listener> weak = a;
    bool called = false;
    bus.receiveEvent(QuitAppKeyEvent, a, [&](const EBEvent&) { called = true; });
    a.reset();
    EXPECT_TRUE(weak.expired());
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_FALSE(called);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(bus.receiversForEvent(QuitAppKeyEvent).empty());
}

TEST_F(EBEventfulTest, DeadReceiversLeaveTheReceiverTable)
{
    {
        auto a = makeRef<Listener>();
        bus.receiveEvent(QuitAppKeyEvent, a, record("a"));
        bus.receiveEvent(HideAppKeyEvent, a, &Listener::handle);
    }
    std::ostringstream out;
    bus.receiversDescription(out);
    EXPECT_EQ(out.str(), "EBEventful (receiversDescription): No receivers registered, the pool is empty!\n");
}

TEST_F(EBEventfulTest, ReceiverStoppingInItsDestructor)
{
    auto a = makeRef<SelfRemovingListener>();
    const NSObject* address = a.get();
    bus.receiveEvent(QuitAppKeyEvent, a, &Listener::handle);
    a.reset();
    EXPECT_TRUE(bus.eventIdsForReceiver(address).empty());
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_TRUE(log.empty());
}

TEST_F(EBEventfulTest, ReceiverDroppingItsLastReferenceDuringDelivery)
{
    auto a = makeRef<SelfRemovingListener>();
    Weak<SelfRemovingListener> weak = a;
    bus.receiveEvent(QuitAppKeyEvent, a, [&](const EBEvent& e) {
        a.reset();
        // Still alive for the rest of its own delivery.
        auto self = weak.lock();
        ASSERT_TRUE(self);
        self->handle(e);
    });
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(log, (Log { "success" }));
    log.clear();
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_TRUE(log.empty());
}

// Changes during a delivery.

TEST_F(EBEventfulTest, RegistrationDuringDeliveryWaitsForTheNextSend)
{
    auto a = makeRef<Listener>(), b = makeRef<Listener>();
    bool added = false;
    bus.receiveEvent(QuitAppKeyEvent, a, [&](const EBEvent& e) {
        record("a")(e);
        if (!added) {
            added = true;
            bus.receiveEvent(QuitAppKeyEvent, b, record("b"));
        }
    });
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_EQ(log, (Log { "a 1000 #1" }));
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_EQ(log, (Log { "a 1000 #1", "a 1000 #2", "b 1000 #1" }));
}

TEST_F(EBEventfulTest, ReceiverRemovedDuringDeliveryIsNotCalled)
{
    auto a = makeRef<Listener>(), b = makeRef<Listener>(), c = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, [&](const EBEvent& e) {
        record("a")(e);
        bus.stopReceivingEventsForObject(a.get());
        bus.stopReceivingEventId(QuitAppKeyEvent, b.get());
    });
    bus.receiveEvent(QuitAppKeyEvent, b, record("b"));
    bus.receiveEvent(QuitAppKeyEvent, c, record("c"));
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_EQ(log, (Log { "a 1000 #1", "success", "c 1000 #1", "success" }));
    log.clear();
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_EQ(log, (Log { "c 1000 #2" }));
}

TEST_F(EBEventfulTest, SendFromInsideADelivery)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, [&](const EBEvent& e) {
        record("quit")(e);
        bus.sendEvent(HideAppKeyEvent, nullptr, {});
    });
    bus.receiveEvent(HideAppKeyEvent, a, record("hide"));
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_EQ(log, (Log { "quit 1000 #1", "hide 1002 #1" }));
}

// Threads.

TEST_F(EBEventfulTest, ConcurrentSendsNeverExceedTheLimit)
{
    auto a = makeRef<Listener>();
    std::atomic<int> delivered { 0 }, failed { 0 };
    bus.receiveEvent(WindowListChangedEvent, a, 500, [&](const EBEvent&) { ++delivered; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            auto other = makeRef<Listener>();
            for (int i = 0; i < 250; ++i) {
                bus.sendEvent(WindowListChangedEvent, nullptr, {}, nullptr, [&] { ++failed; });
                // Registrations coming and going on other threads meanwhile.
                bus.receiveEvent(QuitAppKeyEvent, other, [](const EBEvent&) {});
                bus.stopReceivingEventsForObject(other.get());
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(delivered, 500);
    EXPECT_EQ(failed, 8 * 250 - 500);
    EXPECT_TRUE(bus.receiversForEvent(QuitAppKeyEvent).empty());
}

// Descriptions.

TEST_F(EBEventfulTest, DumpsOfAnEmptyBus)
{
    std::ostringstream out;
    bus.eventsDescription(out);
    bus.receiversDescription(out);
    bus.eventsAndReceiversDescription(out);
    EXPECT_EQ(out.str(),
        "EBEventful (eventsDescription): No events registered, the pool is empty!\n"
        "EBEventful (receiversDescription): No receivers registered, the pool is empty!\n"
        "EBEventful (eventsAndReceiversDescription): No events registered, the pool is empty!\n");
}

TEST_F(EBEventfulTest, DumpsOfRegisteredEvents)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, record("quit"));
    bus.receiveEvent(WindowListChangedEvent, a, 2, record("list"));
    std::string address = stringWithFormat("%p", static_cast<const void*>(a.get()));

    std::ostringstream events;
    bus.eventsDescription(events);
    EXPECT_EQ(events.str(),
        "EBEventful (eventsDescription): Event pool has 2 events registered.\n"
        "EBEventful (eventsDescription): Event Id = 3000\n"
        "EBEventful (eventsDescription): Event Id = 1000\n");

    std::ostringstream receivers;
    bus.receiversDescription(receivers);
    EXPECT_EQ(receivers.str(),
        "EBEventful (receiversDescription): Receiver pool has 1 receivers registered.\n"
        "EBEventful (receiversDescription): Receiver = `"
            + address + "` for events = `(\n    1000,\n    3000\n)`\n");

    std::ostringstream both;
    bus.eventsAndReceiversDescription(both);
    auto registrations = bus.receiversForEvent(WindowListChangedEvent);
    ASSERT_EQ(registrations.size(), 1u);
    std::string expectedStart
        = "EBEventful (eventsAndReceiversDescription): Pool contains 2 events\xE2\x80\xA6\n"
          "EBEventful (eventsAndReceiversDescription): Event Id=3000, Receivers=(\n    "
        + registrations[0]->description() + "\n)\n";
    EXPECT_EQ(both.str().substr(0, expectedStart.size()), expectedStart);
}

TEST_F(EBEventfulTest, RegistrationDescription)
{
    auto a = makeRef<Listener>();
    bus.receiveEvent(QuitAppKeyEvent, a, 2, record("quit"));
    bus.receiveEvent(HideAppKeyEvent, a, &Listener::handle);
    auto block = bus.receiversForEvent(QuitAppKeyEvent).at(0);
    auto selector = bus.receiversForEvent(HideAppKeyEvent).at(0);
    std::string object = a->description();

    EXPECT_EQ(block->description(),
        stringWithFormat(
            "<EBEventReceiver: triggerCount=0, triggerLimit=2, object=%@, selector=0x0, receiverBlock=%p>",
            object, static_cast<const void*>(&block->receiverBlock())));
    EXPECT_EQ(selector->description(),
        stringWithFormat("<EBEventReceiver: triggerCount=0, triggerLimit=18446744073709551615, object=%@, "
                         "selector=%p, receiverBlock=0x0>",
            object, static_cast<const void*>(&selector->selector())));
    a.reset();
    EXPECT_NE(block->description().find("object=(null)"), std::string::npos);
}

TEST_F(EBEventfulTest, EventDescription)
{
    auto sender = makeRef<Listener>();
    EBEvent unlimited(
        ControlArrowKeyEvent, sender, Value::Dictionary { { "KeyCode", 125 } }, 1, EBUnlimitedTriggers);
    EXPECT_EQ(unlimited.description(),
        "<EBEvent: eventId=1001, sender=" + sender->description()
            + ", data={\n    KeyCode = 125;\n}, triggerCount=1, triggerLimit=18446744073709551615 "
              "(NSUIntegerMax)>");
    EBEvent limited(QuitAppKeyEvent, nullptr, {}, 2, 2);
    EXPECT_EQ(limited.description(),
        "<EBEvent: eventId=1000, sender=(null), data=(null), triggerCount=2, triggerLimit=2>");
}

} // namespace

TEST_F(EBEventfulTest, ATokenRegistrationEndsWhenItsTokenIsDropped)
{
    auto a = makeRef<Listener>(), b = makeRef<Listener>();
    Token first = bus.subscribe(QuitAppKeyEvent, a, record("a"));
    // Dropping a token during a delivery: the block under way finishes, the
    // registration is not called again, and the next one still is.
    Token second;
    second = bus.subscribe(QuitAppKeyEvent, b, [&](const EBEvent&) {
        log.push_back("b");
        second.reset();
        first.reset();
    });
    Token third = bus.subscribe(QuitAppKeyEvent, b, record("b2"), 1);
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    bus.sendEvent(QuitAppKeyEvent, nullptr, {}, success, fail);
    EXPECT_EQ(log, (Log { "a 1000 #1", "b", "b2 1000 #1", "fail" }));
    EXPECT_EQ(bus.eventIdsForReceiver(a.get()), std::vector<EBEventId> {});
    EXPECT_EQ(bus.eventIdsForReceiver(b.get()), std::vector<EBEventId> { QuitAppKeyEvent });

    // Removal by object ends it too; the token dropped afterwards, or after
    // the tables were emptied, removes nothing else: not a later
    // registration of the same receiver and id.
    bus.stopReceivingEventsForObject(b.get());
    bus.receiveEvent(QuitAppKeyEvent, b, record("again"));
    third.reset();
    third.reset();
    Token fourth = bus.subscribe(QuitAppKeyEvent, b, record("fourth"));
    EBEventful::resetForTesting();
    bus.receiveEvent(QuitAppKeyEvent, b, record("fresh"));
    fourth.reset();
    log.clear();
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_EQ(log, (Log { "fresh 1000 #1" }));

    // A receiver that goes away ends its token registration as well.
    {
        auto gone = makeRef<Listener>();
        Token token = bus.subscribe(HideAppKeyEvent, gone, record("gone"));
        gone.reset();
        bus.sendEvent(HideAppKeyEvent, nullptr, {}, success, fail);
    }
    EXPECT_EQ(log, (Log { "fresh 1000 #1" }));
    EXPECT_FALSE(bus.subscribe(HideAppKeyEvent, nullptr, record("nobody")));
}

TEST_F(EBEventfulTest, ABlockThatOwnsAnotherTokenCanBeRemoved)
{
    // Removing a registration releases its block, and with it whatever the
    // block owns; a token among them ends its own registration on the bus.
    auto a = makeRef<Listener>(), b = makeRef<Listener>();
    auto inner = std::make_shared<Token>(bus.subscribe(QuitAppKeyEvent, b, record("inner")));
    bus.receiveEvent(QuitAppKeyEvent, a, [inner](const EBEvent&) { });
    inner.reset();
    bus.stopReceivingEventsForObject(a.get());
    bus.sendEvent(QuitAppKeyEvent, nullptr, {});
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(bus.receiversForEvent(QuitAppKeyEvent).empty());
}
