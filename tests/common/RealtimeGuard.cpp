#include "common/RealtimeGuard.h"

#include "support/RealtimeScope.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <pthread.h>
#ifndef _WIN32
#include <dlfcn.h>
#endif

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
#ifdef _WIN32
    void* p = _aligned_malloc(n == 0 ? a : n, a);
    if (!p) throw std::bad_alloc();
#else
    void* p = nullptr;
    if (posix_memalign(&p, a, n == 0 ? a : n) != 0) throw std::bad_alloc();
#endif
    return p;
}

void release(void* p) {
    if (p && vyn::realtime::inAudioThread()) gFrees.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}

// Memory from allocateAligned: Windows keeps it apart from malloc's.
void releaseAligned(void* p) {
#ifdef _WIN32
    if (p && vyn::realtime::inAudioThread()) gFrees.fetch_add(1, std::memory_order_relaxed);
    _aligned_free(p);
#else
    release(p);
#endif
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

::testing::AssertionResult noRealtimeViolations() {
    const RealtimeViolations v = realtimeViolations();
    if (v.total() == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "on the audio thread: " << v.text();
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
    releaseAligned(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    releaseAligned(p);
}

// ThreadSanitizer intercepts the pthread calls itself; interposing them too would fight it.
#if !defined(__SANITIZE_THREAD__) && !defined(_WIN32)
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

// Windows has no symbol interposition: the test executables are linked with --wrap for each of
// these calls (tests/CMakeLists.txt), which sends every call made by our code, libstdc++ and the
// static winpthreads through the wrappers below.
#if defined(_WIN32)
namespace {

// The audio-thread mark is native Win32 thread-local storage (RealtimeScopeWindows.cpp): reading
// it takes no lock, so the wrappers cannot come back into themselves.
void noteLock() {
    if (vyn::realtime::inAudioThread()) gLocks.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

extern "C" {
int __real_pthread_mutex_lock(pthread_mutex_t* m);
int __real_pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m);
int __real_pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t);
int __real_pthread_rwlock_rdlock(pthread_rwlock_t* l);
int __real_pthread_rwlock_wrlock(pthread_rwlock_t* l);

int __wrap_pthread_mutex_lock(pthread_mutex_t* m) {
    noteLock();
    return __real_pthread_mutex_lock(m);
}
int __wrap_pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
    noteLock();
    return __real_pthread_cond_wait(c, m);
}
int __wrap_pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t) {
    noteLock();
    return __real_pthread_cond_timedwait(c, m, t);
}
int __wrap_pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    noteLock();
    return __real_pthread_rwlock_rdlock(l);
}
int __wrap_pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    noteLock();
    return __real_pthread_rwlock_wrlock(l);
}
}
#endif
