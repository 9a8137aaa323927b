#include "common/RealtimeGuard.h"

#include "support/RealtimeScope.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <pthread.h>

namespace {

std::atomic<long> gAllocations{0};
std::atomic<long> gFrees{0};
std::atomic<long> gLocks{0};

void* allocate(std::size_t n) {
    if (vyn::realtime::inAudioThread()) gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (n == 0) n = 1;
    void* p = std::malloc(n);
    if (!p) throw std::bad_alloc();
    return p;
}

void* allocateAligned(std::size_t n, std::align_val_t align) {
    if (vyn::realtime::inAudioThread()) gAllocations.fetch_add(1, std::memory_order_relaxed);
    std::size_t a = static_cast<std::size_t>(align);
    if (a < sizeof(void*)) a = sizeof(void*);
    void* p = nullptr;
    if (posix_memalign(&p, a, n == 0 ? a : n) != 0) throw std::bad_alloc();
    return p;
}

void release(void* p) {
    if (p && vyn::realtime::inAudioThread()) gFrees.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}

} // namespace

namespace vyn::test {

void resetRealtimeViolations() {
    gAllocations = 0;
    gFrees = 0;
    gLocks = 0;
}

bool realtimeLockHooksActive() {
#if defined(__SANITIZE_THREAD__)
    return false;
#else
    return true;
#endif
}

RealtimeViolations realtimeViolations() {
    return {gAllocations.load(), gFrees.load(), gLocks.load()};
}

} // namespace vyn::test

void* operator new(std::size_t n) {
    return allocate(n);
}
void* operator new[](std::size_t n) {
    return allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t n, std::align_val_t a) {
    return allocateAligned(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return allocateAligned(n, a);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}

// ThreadSanitizer intercepts the pthread calls itself; interposing them too would fight it.
#if !defined(__SANITIZE_THREAD__)
namespace {

void noteLock() {
    if (vyn::realtime::inAudioThread()) gLocks.fetch_add(1, std::memory_order_relaxed);
}

template <typename Fn> Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {
int pthread_mutex_lock(pthread_mutex_t* m) {
    noteLock();
    static auto real = next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
    return real(m);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
    noteLock();
    static auto real = next<int (*)(pthread_cond_t*, pthread_mutex_t*)>("pthread_cond_wait");
    return real(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t) {
    noteLock();
    static auto real = next<int (*)(pthread_cond_t*, pthread_mutex_t*, const struct timespec*)>(
        "pthread_cond_timedwait");
    return real(c, m, t);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    noteLock();
    static auto real = next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_rdlock");
    return real(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    noteLock();
    static auto real = next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_wrlock");
    return real(l);
}
}
#endif
