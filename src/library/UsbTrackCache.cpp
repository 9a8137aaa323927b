#include "library/UsbTrackCache.h"

#include "support/FileIo.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vyn {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kKeySeed = 0x14650FB0739D0383ull;
constexpr std::uint64_t kKeyPrime = 0x100000001B3ull;
constexpr int kOneShotAttempts = 32;

enum class CopyOutcome { Copied, NotCreated, Failed };

// The text from the last "." of the file name, the dot included; empty when the name has none.
std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return {};
    return path.substr(dot);
}

// Copies `from` into a file created for it (exclusively: an existing `to` is never reused). A
// failed copy removes what it wrote.
CopyOutcome copyFile(const std::string& from, const std::string& to, bool paced) {
    std::FILE* in = openFile(from, "rb");
    if (!in) return CopyOutcome::Failed;
    std::FILE* out = openFile(to, "wbx");
    if (!out) {
        std::fclose(in);
        return CopyOutcome::NotCreated;
    }
    const std::size_t chunk = paced ? UsbTrackCache::kPacedChunk : UsbTrackCache::kFastChunk;
    std::vector<char> buffer(chunk);
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(buffer.data(), 1, chunk, in);
        if (n > 0 && std::fwrite(buffer.data(), 1, n, out) != n) {
            ok = false;
            break;
        }
        if (n < chunk) {
            ok = std::ferror(in) == 0;
            break;
        }
        if (paced)
            std::this_thread::sleep_for(std::chrono::milliseconds(UsbTrackCache::kPacedPauseMs));
    }
    if (std::fclose(out) != 0) ok = false;
    std::fclose(in);
    if (!ok) removeFile(to);
    return ok ? CopyOutcome::Copied : CopyOutcome::Failed;
}

// A folder only this user can enter; false when it cannot be made so (for example when someone
// else created it first, or it is a link).
bool makePrivateFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::file_status st = fs::symlink_status(folder, ec);
    if (ec || !fs::is_directory(st)) return false;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    return !ec;
}

std::string uniqueSuffix() {
    static std::atomic<std::uint64_t> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()) + "-" +
           std::to_string(counter.fetch_add(1));
}

} // namespace

UsbTrackCache::UsbTrackCache(std::unique_ptr<IDriveClassifier> classifier)
    : classifier_(std::move(classifier)) {}

bool UsbTrackCache::setCacheFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    folder_.clear();
    if (folder.empty()) return false;
    std::error_code ec;
    fs::create_directories(pathFromUtf8(folder), ec);
    if (!fs::is_directory(pathFromUtf8(folder), ec)) return false;
    folder_ = folder;
    return true;
}

std::string UsbTrackCache::cacheFolder() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return folder_;
}

void UsbTrackCache::setBusHook(std::function<bool(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    busHook_ = std::move(hook);
}

bool UsbTrackCache::needsStaging(const std::string& path) const {
    return !path.empty() && classifier_ && classifier_->classify(path) != DriveKind::Fixed;
}

bool UsbTrackCache::fileKey(const std::string& path, std::uint64_t& key) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(pathFromUtf8(path), ec);
    if (ec || size == 0) return false;
    const fs::file_time_type written = fs::last_write_time(pathFromUtf8(path), ec);
    if (ec) return false;
    std::uint64_t h = kKeySeed;
    for (const char c : path)
        h = (h ^ static_cast<unsigned char>(c)) * kKeyPrime;
    h = (h ^ static_cast<std::uint64_t>(size)) * kKeyPrime;
    h = (h ^ static_cast<std::uint64_t>(written.time_since_epoch().count())) * kKeyPrime;
    key = h;
    return true;
}

std::string UsbTrackCache::entryName(std::uint64_t key, const std::string& source) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(key));
    return std::string("vyn-") + hex + extensionOf(source);
}

std::string UsbTrackCache::readyFolder() {
    std::error_code ec;
    if (!folder_.empty()) {
        fs::create_directories(pathFromUtf8(folder_), ec); // it may have been removed since set
        return fs::is_directory(pathFromUtf8(folder_), ec) ? folder_ : std::string();
    }
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) return {};
    const fs::path fallback = temp / "vyn-usb-cache";
    if (!makePrivateFolder(fallback)) return {};
    folder_ = utf8FromPath(fallback);
    return folder_;
}

void UsbTrackCache::prune(const std::string& folder, const std::string& keep) {
    struct Entry {
        fs::path path;
        fs::file_time_type written;
        std::uintmax_t size;
    };
    std::error_code ec;
    if (!fs::is_directory(pathFromUtf8(folder), ec)) return;
    std::vector<Entry> entries;
    std::uintmax_t total = 0;
    // Copies cut short by a crash are swept once they are surely nobody's work in progress.
    const auto staleParts = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (fs::directory_iterator it(pathFromUtf8(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = utf8FromPath(it->path().filename());
        const bool part = name.rfind("part-", 0) == 0;
        if (!part && name.rfind("vyn-", 0) != 0) continue;
        std::error_code e;
        if (!it->is_regular_file(e)) continue;
        const std::uintmax_t size = it->file_size(e);
        if (e) continue;
        const fs::file_time_type written = it->last_write_time(e);
        if (e) continue;
        if (part) {
            if (written < staleParts) fs::remove(it->path(), e);
            continue;
        }
        entries.push_back({it->path(), written, size});
        total += size;
    }
    std::size_t count = entries.size();
    if (count <= kMaxEntries && total <= kMaxBytes) return;
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.written < b.written; });
    const fs::path kept = pathFromUtf8(keep);
    for (const Entry& e : entries) {
        if (count <= kMaxEntries && total <= kMaxBytes) break;
        if (e.path == kept) continue; // the entry just staged is about to be decoded
        std::error_code removeError;
        if (!fs::remove(e.path, removeError)) continue;
        --count;
        total -= e.size;
    }
}

StageResult UsbTrackCache::stage(const std::string& source) {
    StageResult result;
    if (source.empty()) {
        result.ok = true;
        return result;
    }
    const DriveKind kind = classifier_ ? classifier_->classify(source) : DriveKind::Fixed;
    if (kind == DriveKind::Fixed) {
        result.ok = true;
        result.path = source;
        return result;
    }
    std::function<bool(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = busHook_;
    }
    const bool paced = kind == DriveKind::Removable && (!hook || hook(source));

    std::uint64_t key = 0;
    if (!fileKey(source, key)) return stageOneShot(source, paced);

    const std::string name = entryName(key, source);
    std::string folder, entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        folder = readyFolder();
        if (folder.empty()) return result;
        entry = folder + "/" + name;
        std::error_code ec, entryError, sourceError;
        const fs::path entryPath = pathFromUtf8(entry);
        if (fs::is_regular_file(entryPath, ec) &&
            fs::file_size(entryPath, entryError) ==
                fs::file_size(pathFromUtf8(source), sourceError) &&
            !entryError && !sourceError) {
            // A hit counts as a use: pruning removes the least recently used entries first.
            fs::last_write_time(entryPath, fs::file_time_type::clock::now(), ec);
            result.ok = true;
            result.path = entry;
            return result;
        }
    }

    // Copied under a name pruning ignores, then renamed: a reader never sees half a file.
    const std::string temporary = folder + "/part-" + uniqueSuffix() + "-" + name;
    if (copyFile(source, temporary, paced) != CopyOutcome::Copied) return result;
    std::error_code ec;
    fs::rename(pathFromUtf8(temporary), pathFromUtf8(entry), ec);
    if (ec) {
        // Windows refuses to replace a file another thread or process has open (a concurrent load
        // of the same track stamping or reading it). The entry's name is the file's identity, so
        // an entry of the right size that is already there is this very copy: use it.
        std::error_code entryError, copyError;
        const bool there = fs::is_regular_file(pathFromUtf8(entry), entryError) &&
                           fs::file_size(pathFromUtf8(entry), entryError) ==
                               fs::file_size(pathFromUtf8(temporary), copyError) &&
                           !entryError && !copyError;
        removeFile(temporary);
        if (!there) return result;
        result.ok = true;
        result.path = entry;
        return result;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        prune(folder, entry);
    }
    result.ok = true;
    result.path = entry;
    result.copied = true;
    return result;
}

StageResult UsbTrackCache::stageOneShot(const std::string& source, bool paced) {
    StageResult result;
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        folder = readyFolder();
    }
    if (folder.empty()) return result;
    const fs::path privateFolder = pathFromUtf8(folder) / "one-shot";
    if (!makePrivateFolder(privateFolder)) return result;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const std::string stamp =
        std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    const std::string extension = extensionOf(source);
    for (int attempt = 0; attempt < kOneShotAttempts; ++attempt) {
        const std::string copy =
            utf8FromPath(privateFolder / pathFromUtf8("vyn-load-" + stamp + "-" +
                                                      std::to_string(attempt) + extension));
        const CopyOutcome outcome = copyFile(source, copy, paced);
        if (outcome == CopyOutcome::NotCreated) continue; // taken: try the next name
        if (outcome == CopyOutcome::Failed) return result;
        result.ok = true;
        result.path = copy;
        result.oneShot = true;
        result.copied = true;
        return result;
    }
    return result;
}

} // namespace vyn
