#pragma once
// What the Media Foundation users of this module share (Windows builds only): a COM reference
// owner, the calling thread's COM apartment for one call, the process's single Media Foundation
// start-up, and a UTF-8 path as the full wide path the source reader and resolver expect.
//
// Threading: startMediaFoundation() and fullWidePath() may be called from any thread; a ComScope
// belongs to the thread that made it, a ComPtr to its owner.

#include <windows.h>

#include <objbase.h>

#include <string>

namespace vyn::media_foundation {

// Owns one COM reference.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// The calling thread in COM's multithreaded apartment for one call (an apartment the thread
// already has is kept).
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

// Media Foundation's lite start-up, once per process; later calls return the first answer.
bool startMediaFoundation();

// The full path of a UTF-8 path in UTF-16 (Media Foundation resolves its argument as a URL: a
// full path leaves it no doubt); empty for ill-formed UTF-8.
std::wstring fullWidePath(const std::string& utf8);

} // namespace vyn::media_foundation
