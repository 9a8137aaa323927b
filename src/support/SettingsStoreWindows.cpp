// The user's settings on Windows: values of the registry key HKEY_CURRENT_USER\Software\VYN.
// Every read asks the registry, so what another process (or `reg add`) wrote is seen at once.

#include "support/SettingsStore.h"
#include "support/WideText.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace vyn {
namespace {

class RegistrySettingsStore final : public SettingsStore {
public:
    explicit RegistrySettingsStore(std::wstring subkey) : subkey_(std::move(subkey)) {}

    std::optional<std::string> text(std::string_view key) const override {
        std::vector<std::string> values = list(key);
        if (values.empty()) return std::nullopt;
        return std::move(values.front());
    }

    // A REG_SZ value is a list of one, a REG_DWORD its decimal text; other types read as unset.
    std::vector<std::string> list(std::string_view key) const override {
        std::vector<std::string> out;
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_QUERY_VALUE, &k) !=
            ERROR_SUCCESS)
            return out;
        const std::wstring name = widen(key);
        DWORD type = 0;
        DWORD bytes = 0;
        std::wstring data;
        LSTATUS status = RegQueryValueExW(k, name.c_str(), nullptr, &type, nullptr, &bytes);
        if (status == ERROR_SUCCESS && !name.empty()) {
            data.assign(bytes / sizeof(wchar_t) + 2, L'\0');
            status = RegQueryValueExW(k, name.c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &bytes);
        }
        RegCloseKey(k);
        if (status != ERROR_SUCCESS || name.empty()) return out;
        if (type == REG_DWORD && bytes == sizeof(DWORD)) {
            DWORD value = 0;
            std::memcpy(&value, data.data(), sizeof value);
            out.push_back(std::to_string(static_cast<std::int32_t>(value)));
        } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
            // The stored string need not end in a terminator.
            data.resize(bytes / sizeof(wchar_t));
            out.push_back(narrow(std::wstring_view(data.c_str())));
        } else if (type == REG_MULTI_SZ) {
            data.resize(bytes / sizeof(wchar_t) + 1);
            for (std::size_t at = 0; at < data.size() && data[at] != L'\0';) {
                const std::wstring_view item(data.c_str() + at);
                out.push_back(narrow(item));
                at += item.size() + 1;
            }
        }
        return out;
    }

    bool setText(std::string_view key, std::string_view value) override {
        if (!storableKey(key)) return fail("setting name cannot be stored");
        if (!storableValue(value)) return fail("setting value cannot be stored");
        std::wstring data = widen(value);
        if (data.empty() && !value.empty()) return fail("setting value cannot be stored");
        data.push_back(L'\0');
        return write(key, REG_SZ, data.data(), data.size() * sizeof(wchar_t));
    }

    // A REG_MULTI_SZ cannot hold an empty string (it would end the list), so none is stored.
    bool setList(std::string_view key, const std::vector<std::string>& values) override {
        if (!storableKey(key)) return fail("setting name cannot be stored");
        if (values.empty()) return remove(key);
        std::wstring data;
        for (const std::string& v : values) {
            const std::wstring wide = widen(v);
            if (!storableValue(v) || wide.empty()) return fail("setting value cannot be stored");
            data += wide;
            data.push_back(L'\0');
        }
        data.push_back(L'\0');
        return write(key, REG_MULTI_SZ, data.data(), data.size() * sizeof(wchar_t));
    }

    bool setInteger(std::string_view key, int value) override {
        if (!storableKey(key)) return fail("setting name cannot be stored");
        const DWORD data = static_cast<DWORD>(value);
        return write(key, REG_DWORD, &data, sizeof data);
    }

    bool remove(std::string_view key) override {
        if (!storableKey(key)) return fail("setting name cannot be stored");
        HKEY k = nullptr;
        const LSTATUS open =
            RegOpenKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_SET_VALUE, &k);
        if (open == ERROR_FILE_NOT_FOUND) return succeed();
        if (open != ERROR_SUCCESS) return fail("settings could not be saved");
        const LSTATUS status = RegDeleteValueW(k, widen(key).c_str());
        RegCloseKey(k);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return fail("settings could not be saved");
        return succeed();
    }

    const std::string& lastError() const override { return error_; }

private:
    bool write(std::string_view key, DWORD type, const void* data, std::size_t bytes) {
        HKEY k = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &k, nullptr) != ERROR_SUCCESS)
            return fail("settings could not be saved");
        const LSTATUS status =
            RegSetValueExW(k, widen(key).c_str(), 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(bytes));
        RegCloseKey(k);
        if (status != ERROR_SUCCESS) return fail("settings could not be saved");
        return succeed();
    }

    bool succeed() {
        error_.clear();
        return true;
    }
    bool fail(const char* message) {
        error_ = message;
        return false;
    }

    std::wstring subkey_;
    std::string error_;
};

} // namespace

std::unique_ptr<SettingsStore> openRegistrySettings(const std::string& subkey) {
    return std::make_unique<RegistrySettingsStore>(widen(subkey));
}

std::unique_ptr<SettingsStore> openUserSettings() {
    return openRegistrySettings("Software\\VYN");
}

} // namespace vyn
