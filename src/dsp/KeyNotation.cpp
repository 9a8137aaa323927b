#include "dsp/KeyNotation.h"

namespace vyn {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    char peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    void skip(std::size_t n = 1) { pos_ += n; }
    void skipSpace() {
        while (pos_ < text_.size() && isSpace(text_[pos_]))
            ++pos_;
    }
    // Consumes `lower` or its all-upper-case spelling (not mixed case).
    bool accept(std::string_view lower, std::string_view upper) {
        const std::string_view rest = text_.substr(pos_);
        if (rest.substr(0, lower.size()) == lower || rest.substr(0, upper.size()) == upper) {
            pos_ += lower.size();
            return true;
        }
        return false;
    }
    bool onlySpaceLeft() {
        skipSpace();
        return pos_ >= text_.size();
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

int mod12(int v) {
    return ((v % 12) + 12) % 12;
}

KeyCode parseWheel(Cursor& c) {
    int number = c.peek() - '0';
    c.skip();
    if (number == 1 && c.peek() >= '0' && c.peek() <= '2') {
        number = 10 + (c.peek() - '0');
        c.skip();
    }
    if (number < 1) return {};
    const char letter = c.peek();
    if (letter != 'A' && letter != 'a' && letter != 'B' && letter != 'b') return {};
    c.skip();
    if (!c.onlySpaceLeft()) return {};
    // 8A is A minor and each step round the wheel is a fifth; B is the relative major.
    const int minorRoot = mod12(7 * number - 47);
    if (letter == 'A' || letter == 'a') return {static_cast<std::uint8_t>(minorRoot), kMinorMode};
    return {static_cast<std::uint8_t>(mod12(minorRoot + 3)), kMajorMode};
}

KeyCode parseNoteName(Cursor& c) {
    static constexpr int kLetterPitch[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    char letter = c.peek();
    if (letter >= 'a' && letter <= 'g') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'G') return {};
    c.skip();
    int pitch = kLetterPitch[letter - 'A'];
    if (c.peek() == '#') {
        ++pitch;
        c.skip();
    } else if (c.peek() == 'b' || c.peek() == 'B') {
        --pitch;
        c.skip();
    }
    c.skipSpace();
    std::uint8_t mode = kMajorMode;
    if (c.peek() == 'm' || c.peek() == 'M') {
        c.skip();
        if (c.accept("in", "IN")) {
            c.accept("or", "OR");
            mode = kMinorMode;
        } else if (c.accept("aj", "AJ")) {
            c.accept("or", "OR");
            mode = kMajorMode;
        } else {
            mode = kMinorMode;
        }
    }
    if (!c.onlySpaceLeft()) return {};
    return {static_cast<std::uint8_t>(mod12(pitch)), mode};
}

} // namespace

KeyCode parseKeyNotation(std::string_view text) {
    Cursor c(text);
    c.skipSpace();
    if (c.peek() >= '0' && c.peek() <= '9') return parseWheel(c);
    return parseNoteName(c);
}

} // namespace vyn
