// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/Json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>

#include "base/Utf8.h"
#include "platform/Translation.h"

namespace morvale::LinuxDesktop {

namespace {

bool isValidUtf8(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return sanitizeUtf8(text) == text;
        }
    }
    return true;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    JsonParse run() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
            pos_ = 3;
        }
        JsonParse result;
        skipSpace();
        PlistValue value;
        if (readValue(value, 0)) {
            skipSpace();
            if (pos_ == text_.size()) {
                result.value = std::move(value);
                return result;
            }
            fail(translate("Json", "unexpected text after the value"));
        }
        const auto [line, column] = where();
        //: Where a settings file goes wrong (%1, %2), and what is wrong there (%3).
        result.error = fillIn(translate("Json", "line %1, column %2: %3"),
                              {std::to_string(line), std::to_string(column), error_});
        return result;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;

    bool fail(std::string message) {
        if (error_.empty()) {
            error_ = std::move(message);
        }
        return false;
    }

    // The line and column of the reading position, from 1.
    std::pair<std::size_t, std::size_t> where() const {
        std::size_t line = 1;
        std::size_t column = 1;
        for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return {line, column};
    }

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }

    void skipSpace() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++pos_;
        }
    }

    bool literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) {
            return fail(translate("Json", "unknown word"));
        }
        pos_ += word.size();
        return true;
    }

    bool readValue(PlistValue& out, int depth) {
        switch (peek()) {
            case '{':
                return readObject(out, depth + 1);
            case '[':
                return readArray(out, depth + 1);
            case '"': {
                std::string s;
                if (!readString(s)) {
                    return false;
                }
                out = PlistValue(std::move(s));
                return true;
            }
            case 't':
                out = PlistValue(true);
                return literal("true");
            case 'f':
                out = PlistValue(false);
                return literal("false");
            case 'n':
                return fail(translate("Json", "null is not a storable value"));
            default:
                if (peek() == '-' || (peek() >= '0' && peek() <= '9')) {
                    return readNumber(out);
                }
                return fail(atEnd() ? translate("Json", "unexpected end of text")
                                    : translate("Json", "unexpected character"));
        }
    }

    bool readObject(PlistValue& out, int depth) {
        if (depth > kJsonMaxDepth) {
            return fail(translate("Json", "nested too deeply"));
        }
        ++pos_;
        PlistValue::Dict dict;
        skipSpace();
        if (peek() == '}') {
            ++pos_;
            out = PlistValue(std::move(dict));
            return true;
        }
        for (;;) {
            skipSpace();
            if (peek() != '"') {
                return fail(translate("Json", "expected a key in quotes"));
            }
            const std::size_t keyAt = pos_;
            std::string key;
            if (!readString(key)) {
                return false;
            }
            skipSpace();
            if (peek() != ':') {
                return fail(translate("Json", "expected ':'"));
            }
            ++pos_;
            skipSpace();
            PlistValue item;
            if (!readValue(item, depth)) {
                return false;
            }
            if (!dict.emplace(std::move(key), std::move(item)).second) {
                pos_ = keyAt;
                return fail(translate("Json", "the same key appears twice"));
            }
            skipSpace();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == '}') {
                ++pos_;
                out = PlistValue(std::move(dict));
                return true;
            }
            return fail(translate("Json", "expected ',' or '}'"));
        }
    }

    bool readArray(PlistValue& out, int depth) {
        if (depth > kJsonMaxDepth) {
            return fail(translate("Json", "nested too deeply"));
        }
        ++pos_;
        PlistValue::List list;
        skipSpace();
        if (peek() == ']') {
            ++pos_;
            out = PlistValue(std::move(list));
            return true;
        }
        for (;;) {
            skipSpace();
            PlistValue item;
            if (!readValue(item, depth)) {
                return false;
            }
            list.push_back(std::move(item));
            skipSpace();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == ']') {
                ++pos_;
                out = PlistValue(std::move(list));
                return true;
            }
            return fail(translate("Json", "expected ',' or ']'"));
        }
    }

    bool readHex4(std::uint32_t& out) {
        if (pos_ + 4 > text_.size()) {
            return fail(translate("Json", "incomplete \\u escape"));
        }
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            std::uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                return fail(translate("Json", "bad \\u escape"));
            }
            out = out * 16 + digit;
        }
        return true;
    }

    bool readEscape(std::string& out) {
        if (atEnd()) {
            return fail(translate("Json", "unexpected end of text"));
        }
        const char c = text_[pos_++];
        switch (c) {
            case '"':
                out += '"';
                return true;
            case '\\':
                out += '\\';
                return true;
            case '/':
                out += '/';
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                return fail(translate("Json", "unknown escape"));
        }
        std::uint32_t cp = 0;
        if (!readHex4(cp)) {
            return false;
        }
        if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return fail(translate("Json", "a low surrogate without a high one"));
        }
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.substr(pos_, 2) != "\\u") {
                return fail(translate("Json", "a high surrogate without a low one"));
            }
            pos_ += 2;
            if (!readHex4(low)) {
                return false;
            }
            if (low < 0xDC00 || low > 0xDFFF) {
                return fail(translate("Json", "a high surrogate without a low one"));
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, cp);
        return true;
    }

    bool readString(std::string& out) {
        ++pos_;  // the opening quote
        const std::size_t start = pos_;
        for (;;) {
            if (atEnd()) {
                return fail(translate("Json", "a string without its closing quote"));
            }
            const char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                break;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return fail(translate("Json", "a control character inside a string"));
            }
            if (c == '\\') {
                ++pos_;
                if (!readEscape(out)) {
                    return false;
                }
                continue;
            }
            out += c;
            ++pos_;
        }
        if (!isValidUtf8(out)) {
            pos_ = start;
            return fail(translate("Json", "text that is not UTF-8"));
        }
        return true;
    }

    bool readNumber(PlistValue& out) {
        // The JSON grammar first: from_chars alone would take "inf", "nan",
        // leading zeros and hexadecimal.
        const std::size_t start = pos_;
        const auto digits = [&] {
            const std::size_t from = pos_;
            while (!atEnd() && peek() >= '0' && peek() <= '9') {
                ++pos_;
            }
            return pos_ - from;
        };
        if (peek() == '-') {
            ++pos_;
        }
        if (peek() == '0') {
            ++pos_;
        } else if (digits() == 0) {
            return fail(translate("Json", "bad number"));
        }
        if (peek() == '.') {
            ++pos_;
            if (digits() == 0) {
                return fail(translate("Json", "bad number"));
            }
        }
        if (peek() == 'e' || peek() == 'E') {
            ++pos_;
            if (peek() == '+' || peek() == '-') {
                ++pos_;
            }
            if (digits() == 0) {
                return fail(translate("Json", "bad number"));
            }
        }
        double value = 0;
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        const auto [end, ec] = std::from_chars(first, last, value);
        if (ec == std::errc::result_out_of_range) {
            pos_ = start;
            return fail(translate("Json", "a number beyond the range of a double"));
        }
        if (ec != std::errc{} || end != last) {
            pos_ = start;
            return fail(translate("Json", "bad number"));
        }
        out = PlistValue(value);
        return true;
    }
};

class Writer {
public:
    std::string out;
    std::string error;

    bool write(const PlistValue& value, int depth, int indent) {
        if (const auto* s = value.asString()) {
            return writeString(*s);
        }
        if (const auto* b = value.asBool()) {
            out += *b ? "true" : "false";
            return true;
        }
        if (const auto* n = value.asNumber()) {
            return writeNumber(*n);
        }
        if (depth + 1 > kJsonMaxDepth) {
            return refuse(
                fillIn(translate("Json", "lists and dictionaries nested more than %1 deep"),
                       {std::to_string(kJsonMaxDepth)}));
        }
        if (const auto* list = value.asList()) {
            if (list->empty()) {
                out += "[]";
                return true;
            }
            out += '[';
            bool first = true;
            for (const auto& item : *list) {
                out += first ? "\n" : ",\n";
                first = false;
                out.append(static_cast<std::size_t>(indent + 2), ' ');
                if (!write(item, depth + 1, indent + 2)) {
                    return false;
                }
            }
            out += '\n';
            out.append(static_cast<std::size_t>(indent), ' ');
            out += ']';
            return true;
        }
        const auto* dict = value.asDict();
        if (dict->empty()) {
            out += "{}";
            return true;
        }
        out += '{';
        bool first = true;
        for (const auto& [key, item] : *dict) {
            out += first ? "\n" : ",\n";
            first = false;
            out.append(static_cast<std::size_t>(indent + 2), ' ');
            if (!writeString(key)) {
                return false;
            }
            out += ": ";
            if (!write(item, depth + 1, indent + 2)) {
                return false;
            }
        }
        out += '\n';
        out.append(static_cast<std::size_t>(indent), ' ');
        out += '}';
        return true;
    }

private:
    bool refuse(std::string why) {
        error = std::move(why);
        return false;
    }

    bool writeNumber(double n) {
        if (!std::isfinite(n)) {
            // JSON has no spelling for these, and writing null or a string
            // would change the value's kind: refuse instead.
            return refuse(translate("Json", "a number that is not finite"));
        }
        // The shortest text that reads back as exactly this double, with '.'
        // whatever LC_NUMERIC says (printf would follow the locale).
        char buffer[64];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, n);
        if (ec != std::errc{}) {
            return refuse(translate("Json", "a number that cannot be written"));
        }
        out.append(buffer, end);
        return true;
    }

    bool writeString(const std::string& s) {
        // The reader refuses text that is not UTF-8; writing it would make the
        // file unreadable on the next start.
        if (!isValidUtf8(s)) {
            return refuse(translate("Json", "text that is not UTF-8"));
        }
        static constexpr char hex[] = "0123456789abcdef";
        out += '"';
        for (const char c : s) {
            switch (c) {
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\b':
                    out += "\\b";
                    break;
                case '\f':
                    out += "\\f";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20) {
                        out += "\\u00";
                        out += hex[static_cast<unsigned char>(c) >> 4];
                        out += hex[static_cast<unsigned char>(c) & 0xF];
                    } else {
                        out += c;
                    }
            }
        }
        out += '"';
        return true;
    }
};

}  // namespace

JsonParse parseJson(std::string_view text) {
    return Reader(text).run();
}

JsonText toJson(const PlistValue& value) {
    Writer writer;
    JsonText result;
    if (writer.write(value, 0, 0)) {
        writer.out += '\n';
        result.text = std::move(writer.out);
    } else {
        result.error = std::move(writer.error);
    }
    return result;
}

}  // namespace morvale::LinuxDesktop
