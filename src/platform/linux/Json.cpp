// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/Json.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <nlohmann/json.hpp>
#include <utility>
#include <variant>
#include <vector>

#include "base/Utf8.h"
#include "platform/Translation.h"

namespace morvale::LinuxDesktop {

namespace {

using nlohmann::json;

bool isValidUtf8(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return sanitizeUtf8(text) == text;
        }
    }
    return true;
}

// The text as the parser reads it, one character at a time, telling how far
// it got: a refusal of our own (null, a repeated key, nesting too deep) comes
// from an event that carries no position.
class TrackedChars {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackedChars(const char* at, const char** reached) : at_(at), reached_(reached) {}
    reference operator*() const { return *at_; }
    TrackedChars& operator++() {
        *reached_ = ++at_;
        return *this;
    }
    TrackedChars operator++(int) {
        TrackedChars before = *this;
        ++*this;
        return before;
    }
    friend bool operator==(const TrackedChars& a, const TrackedChars& b) { return a.at_ == b.at_; }

private:
    const char* at_;
    const char** reached_;
};

// The library's own reasons, in the program's words (and languages). Its
// messages name the fault in fixed English phrases; anything not listed here
// is an unexpected character.
std::string reasonFor(const json::exception& error) {
    const std::string_view what = error.what();
    const auto says = [what](std::string_view phrase) {
        return what.find(phrase) != std::string_view::npos;
    };
    if (says("ill-formed UTF-8")) return translate("Json", "text that is not UTF-8");
    if (says("control character")) return translate("Json", "a control character inside a string");
    if (says("must follow U+D800")) return translate("Json", "a low surrogate without a high one");
    if (says("must be followed by U+DC00"))
        return translate("Json", "a high surrogate without a low one");
    if (says("must be followed by 4 hex digits")) return translate("Json", "bad \\u escape");
    if (says("forbidden character after backslash")) return translate("Json", "unknown escape");
    if (says("missing closing quote")) return translate("Json", "a string without its closing quote");
    if (says("number overflow")) return translate("Json", "a number beyond the range of a double");
    if (says("invalid number")) return translate("Json", "bad number");
    if (says("invalid literal")) return translate("Json", "unknown word");
    if (says("unexpected end of input")) return translate("Json", "unexpected end of text");
    if (says("expected end of input")) return translate("Json", "unexpected text after the value");
    if (says("object key")) return translate("Json", "expected a key in quotes");
    if (says("object separator")) return translate("Json", "expected ':'");
    if (says("unexpected ']'")) return translate("Json", "expected ',' or ']'");
    if (says("unexpected '}'")) return translate("Json", "expected ',' or '}'");
    return translate("Json", "unexpected character");
}

// Builds the value from the parser's events, refusing what a settings value
// cannot hold: null, a key twice in one object, nesting past kJsonMaxDepth.
// The parser itself keeps no recursion, so no input can exhaust the stack.
class ValueBuilder : public nlohmann::json_sax<json> {
public:
    ValueBuilder(std::string_view text, const char** reached) : text_(text), reached_(reached) {}

    bool null() override { return refuse(translate("Json", "null is not a storable value")); }
    bool boolean(bool value) override { return put(PlistValue(value)); }
    bool number_integer(number_integer_t value) override {
        return put(PlistValue(static_cast<double>(value)));
    }
    bool number_unsigned(number_unsigned_t value) override {
        return put(PlistValue(static_cast<double>(value)));
    }
    bool number_float(number_float_t value, const string_t&) override {
        return put(PlistValue(value));
    }
    bool string(string_t& value) override { return put(PlistValue(std::move(value))); }
    bool binary(binary_t&) override { return refuse(translate("Json", "unexpected character")); }

    bool start_object(std::size_t) override { return open(PlistValue::Dict{}); }
    bool key(string_t& value) override {
        if (std::get<PlistValue::Dict>(open_.back()).contains(value)) {
            return refuse(translate("Json", "the same key appears twice"));
        }
        keys_.push_back(std::move(value));
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(PlistValue::List{}); }
    bool end_array() override { return close(); }

    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& error) override {
        if (error_.empty()) {
            // The position is one past the character the parser stopped at.
            at(position > 0 ? position - 1 : 0,
               done_ ? translate("Json", "unexpected text after the value") : reasonFor(error));
        }
        return false;
    }

    JsonParse result() {
        JsonParse parsed;
        if (!error_.empty()) {
            parsed.error = std::move(error_);
        } else if (done_) {
            parsed.value = std::move(root_);
        } else {
            parsed.error = translate("Json", "unexpected end of text");
        }
        return parsed;
    }

private:
    using Container = std::variant<PlistValue::List, PlistValue::Dict>;

    bool open(Container container) {
        if (open_.size() >= static_cast<std::size_t>(kJsonMaxDepth)) {
            return refuse(translate("Json", "nested too deeply"));
        }
        open_.push_back(std::move(container));
        return true;
    }

    bool close() {
        Container done = std::move(open_.back());
        open_.pop_back();
        return put(std::visit([](auto& c) { return PlistValue(std::move(c)); }, done));
    }

    // A finished value goes into the container that is open, or is the whole.
    bool put(PlistValue value) {
        if (open_.empty()) {
            root_ = std::move(value);
            done_ = true;
        } else if (auto* list = std::get_if<PlistValue::List>(&open_.back())) {
            list->push_back(std::move(value));
        } else {
            std::get<PlistValue::Dict>(open_.back()).emplace(std::move(keys_.back()), std::move(value));
            keys_.pop_back();
        }
        return true;
    }

    bool refuse(std::string why) {
        const auto read = static_cast<std::size_t>(*reached_ - text_.data());
        at(read > 0 ? read - 1 : 0, std::move(why));
        return false;
    }

    // Says why, with the line and column (both from 1) of the byte at offset.
    void at(std::size_t offset, std::string why) {
        offset = std::min(offset, text_.size());
        std::size_t line = 1;
        std::size_t lineStart = 0;
        for (std::size_t i = 0; i < offset; ++i) {
            if (text_[i] == '\n') {
                ++line;
                lineStart = i + 1;
            }
        }
        //: Where a settings file goes wrong (%1, %2), and what is wrong there (%3).
        error_ = fillIn(translate("Json", "line %1, column %2: %3"),
                        {std::to_string(line), std::to_string(offset - lineStart + 1),
                         std::move(why)});
    }

    std::string_view text_;
    const char** reached_;
    std::vector<Container> open_;    // the lists and dictionaries being read
    std::vector<std::string> keys_;  // the key each open dictionary's next value goes under
    PlistValue root_;
    bool done_ = false;
    std::string error_;
};

// The value as the library's, refusing what could not be read back: numbers
// that are not finite (JSON has no spelling for them; null or a string would
// change the kind), text that is not UTF-8 (the file would not load again),
// nesting deeper than the reader takes.
std::optional<json> toLibrary(const PlistValue& value, int depth, std::string& error) {
    if (const auto* s = value.asString()) {
        if (!isValidUtf8(*s)) {
            error = translate("Json", "text that is not UTF-8");
            return std::nullopt;
        }
        return json(*s);
    }
    if (const auto* b = value.asBool()) {
        return json(*b);
    }
    if (const auto* n = value.asNumber()) {
        if (!std::isfinite(*n)) {
            error = translate("Json", "a number that is not finite");
            return std::nullopt;
        }
        return json(*n);
    }
    if (depth + 1 > kJsonMaxDepth) {
        error = fillIn(translate("Json", "lists and dictionaries nested more than %1 deep"),
                       {std::to_string(kJsonMaxDepth)});
        return std::nullopt;
    }
    if (const auto* list = value.asList()) {
        json out = json::array();
        for (const PlistValue& item : *list) {
            auto converted = toLibrary(item, depth + 1, error);
            if (!converted) {
                return std::nullopt;
            }
            out.push_back(std::move(*converted));
        }
        return out;
    }
    json out = json::object();
    for (const auto& [key, item] : *value.asDict()) {
        if (!isValidUtf8(key)) {
            error = translate("Json", "text that is not UTF-8");
            return std::nullopt;
        }
        auto converted = toLibrary(item, depth + 1, error);
        if (!converted) {
            return std::nullopt;
        }
        out[key] = std::move(*converted);
    }
    return out;
}

}  // namespace

JsonParse parseJson(std::string_view text) {
    // A byte order mark is skipped by the library itself.
    const char* reached = text.data();
    ValueBuilder builder(text, &reached);
    json::sax_parse(TrackedChars(text.data(), &reached),
                    TrackedChars(text.data() + text.size(), &reached), &builder);
    return builder.result();
}

JsonText toJson(const PlistValue& value) {
    JsonText result;
    std::optional<json> converted = toLibrary(value, 0, result.error);
    if (converted) {
        // Two spaces a level; numbers in the shortest form that reads back as
        // the same double, whatever the C locale says.
        result.text = converted->dump(2) + '\n';
    }
    return result;
}

}  // namespace morvale::LinuxDesktop
