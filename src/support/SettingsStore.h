#pragma once
// Per-user settings: named values, each a string, an integer or an ordered list of strings, under
// the same names on every platform. Linux keeps them as `key=value` lines in
// $XDG_CONFIG_HOME/vyn/settings.ini (lists as repeated keys, in order); Windows keeps them as
// values of the current user's registry key Software\VYN (text as REG_SZ, integers as REG_DWORD,
// lists as REG_MULTI_SZ; SettingsStoreWindows.cpp). Every change is written through at once, to a
// temporary file that then replaces the old one, so a crash never leaves half a file behind.
//
// A damaged file never stops the program: lines that cannot be read are ignored and the rest is
// kept.
//
// Threading: one thread at a time (the user-interface thread in the application).

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The value of `key` (the first, for a list), or nothing when unset.
    virtual std::optional<std::string> text(std::string_view key) const = 0;
    // Every value of `key` in order; empty when unset.
    virtual std::vector<std::string> list(std::string_view key) const = 0;

    // Replace the value(s) of `key` and write the store. False (and lastError set) when the
    // store could not be written or the key or a value cannot be stored (empty key, a key with
    // '=', a line break or leading/trailing spaces, a value with a line break); the value held in
    // memory is changed only when the write succeeded.
    virtual bool setText(std::string_view key, std::string_view value) = 0;
    virtual bool setList(std::string_view key, const std::vector<std::string>& values) = 0;
    virtual bool remove(std::string_view key) = 0;

    virtual const std::string& lastError() const = 0;

    // An integer value; `fallback` when unset or not a whole decimal number within int's range.
    int integer(std::string_view key, int fallback) const;
    // Stored as decimal text in the file, as a DWORD in the registry.
    virtual bool setInteger(std::string_view key, int value);

    // What every store accepts, so that settings move between platforms unchanged.
    static bool storableKey(std::string_view key);
    static bool storableValue(std::string_view value);
};

// The settings file of a given path (its folder is created on the first write).
std::unique_ptr<SettingsStore> openSettingsFile(const std::string& path);

// The current user's settings: the platform's store (settings.ini in the configuration folder,
// the registry key Software\VYN on Windows).
std::unique_ptr<SettingsStore> openUserSettings();

#if defined(_WIN32)
// The values of a key under HKEY_CURRENT_USER, such as "Software\\VYN" (created on the first
// write).
std::unique_ptr<SettingsStore> openRegistrySettings(const std::string& subkey);
#endif

} // namespace vyn
