// Run-loop sources: what an observer or a port delivers through. Callbacks
// run only while the source is on a run loop, in the modes it was added in.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/RunLoop.h>

#include <mutex>
#include <vector>

class CFRunLoopSource final : public NSObject {
public:
    struct Attachment {
        RunLoop* loop;
        RunLoopMode mode;
    };

    // Where the source is, in the order it was added.
    std::vector<Attachment> attachments() const;
    // The first run loop the source is on and the modes it has there;
    // null when it is on none or has been invalidated.
    RunLoop* firstLoop(std::vector<RunLoopMode>* modes) const;

    bool isValid() const;
    // Takes the source off every run loop for good.
    void invalidate();

private:
    friend void CFRunLoopAddSource(RunLoop&, const Ref<CFRunLoopSource>&, const RunLoopMode&);
    friend void CFRunLoopRemoveSource(RunLoop&, const Ref<CFRunLoopSource>&, const RunLoopMode&);
    friend bool CFRunLoopContainsSource(RunLoop&, const Ref<CFRunLoopSource>&, const RunLoopMode&);
    mutable std::mutex m_mutex;
    std::vector<Attachment> m_attachments;
    bool m_valid { true };
};
using CFRunLoopSourceRef = Ref<CFRunLoopSource>;

RunLoop& CFRunLoopGetCurrent();
RunLoop& CFRunLoopGetMain();
void CFRunLoopAddSource(RunLoop& loop, const CFRunLoopSourceRef& source, const RunLoopMode& mode);
void CFRunLoopRemoveSource(RunLoop& loop, const CFRunLoopSourceRef& source, const RunLoopMode& mode);
bool CFRunLoopContainsSource(RunLoop& loop, const CFRunLoopSourceRef& source, const RunLoopMode& mode);
void CFRunLoopSourceInvalidate(const CFRunLoopSourceRef& source);
