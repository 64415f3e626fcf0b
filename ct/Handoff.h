#pragma once
// Marks the hand-over of an object between threads through Qt's event queue
// for the thread sanitizer. Posting an event and receiving it on the other
// thread orders the two sides, but Qt synchronises inside its own
// (uninstrumented) library, where the sanitizer cannot see it. The sender
// calls release(obj) before posting; the receiving slot calls acquire(obj)
// first. Without the sanitizer both do nothing.
//
// Scope does both for a slot that runs on an object's own thread: acquire on
// entry, release on exit, so that whoever later posts to the object, or
// destroys it after its thread has finished, is ordered after the slot.
#if defined(__SANITIZE_THREAD__)
#define TOMIX_HANDOFF_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TOMIX_HANDOFF_TSAN 1
#endif
#endif

#ifdef TOMIX_HANDOFF_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

class Handoff
{
public:
#ifdef TOMIX_HANDOFF_TSAN
    static void release(const void *obj) { __tsan_release(const_cast<void *>(obj)); }
    static void acquire(const void *obj) { __tsan_acquire(const_cast<void *>(obj)); }
#else
    static void release(const void *) {}
    static void acquire(const void *) {}
#endif

    class Scope
    {
    public:
        explicit Scope(const void *obj) : obj(obj) { acquire(obj); }
        ~Scope() { release(obj); }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        const void *obj;
    };
};
