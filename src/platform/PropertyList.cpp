// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PropertyList.h"

#include <cstdio>

namespace morvale {

const PlistValue* PlistValue::find(std::string_view key) const {
    const Dict* dict = asDict();
    if (dict == nullptr) {
        return nullptr;
    }
    const auto it = dict->find(key);
    return it == dict->end() ? nullptr : &it->second;
}

namespace {

void quote(std::string& out, const std::string& s) {
    out += '"';
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

void append(std::string& out, const PlistValue& value) {
    if (const auto* s = value.asString()) {
        quote(out, *s);
    } else if (const auto* b = value.asBool()) {
        out += *b ? "true" : "false";
    } else if (const auto* n = value.asNumber()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", *n);
        out += buffer;
    } else if (const auto* list = value.asList()) {
        out += '[';
        for (std::size_t i = 0; i < list->size(); ++i) {
            out += i == 0 ? "" : ", ";
            append(out, (*list)[i]);
        }
        out += ']';
    } else if (const auto* dict = value.asDict()) {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : *dict) {
            out += first ? "" : ", ";
            first = false;
            quote(out, key);
            out += ": ";
            append(out, item);
        }
        out += '}';
    }
}

}  // namespace

std::string describe(const PlistValue& value) {
    std::string out;
    append(out, value);
    return out;
}

}  // namespace morvale
