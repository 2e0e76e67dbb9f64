// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace morvale {

// A property-list value: string, boolean, number, list or dictionary. It describes
// aggregate devices to the audio hardware and is what the settings stores hold.
// Numbers are doubles; booleans are a kind of their own and never read as numbers.
class PlistValue {
public:
    using List = std::vector<PlistValue>;
    using Dict = std::map<std::string, PlistValue, std::less<>>;

    PlistValue() : value_(Dict{}) {}
    PlistValue(std::string s) : value_(std::move(s)) {}
    PlistValue(const char* s) : value_(std::string(s)) {}
    PlistValue(bool b) : value_(b) {}
    PlistValue(double d) : value_(d) {}
    PlistValue(int i) : value_(static_cast<double>(i)) {}
    PlistValue(List l) : value_(std::move(l)) {}
    PlistValue(Dict d) : value_(std::move(d)) {}

    bool isString() const { return std::holds_alternative<std::string>(value_); }
    bool isBool() const { return std::holds_alternative<bool>(value_); }
    bool isNumber() const { return std::holds_alternative<double>(value_); }
    bool isList() const { return std::holds_alternative<List>(value_); }
    bool isDict() const { return std::holds_alternative<Dict>(value_); }

    // Null when the value is of another kind.
    const std::string* asString() const { return std::get_if<std::string>(&value_); }
    const bool* asBool() const { return std::get_if<bool>(&value_); }
    const double* asNumber() const { return std::get_if<double>(&value_); }
    const List* asList() const { return std::get_if<List>(&value_); }
    const Dict* asDict() const { return std::get_if<Dict>(&value_); }

    // The value under key when this is a dictionary holding it, else null.
    const PlistValue* find(std::string_view key) const;

    friend bool operator==(const PlistValue&, const PlistValue&) = default;

private:
    std::variant<std::string, bool, double, List, Dict> value_;
};

// Readable, stable text of a value for logs and test failure messages.
std::string describe(const PlistValue& value);

}  // namespace morvale
