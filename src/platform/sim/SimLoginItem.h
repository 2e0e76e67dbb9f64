// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "platform/LoginItem.h"

namespace morvale::sim {

// A login item whose answers a test chooses.
class SimLoginItem final : public LoginItemService {
public:
    LoginItemStatus current = LoginItemStatus::notRegistered;
    std::optional<std::string> failRegisterWith;
    std::optional<std::string> failUnregisterWith;
    // The status a successful registration leaves (the platform may ask the
    // user to approve instead of enabling at once).
    LoginItemStatus afterRegister = LoginItemStatus::enabled;
    int registerCalls = 0;
    int unregisterCalls = 0;

    LoginItemStatus status() const override { return current; }

    std::optional<std::string> registerItem() override {
        ++registerCalls;
        if (failRegisterWith) {
            return failRegisterWith;
        }
        current = afterRegister;
        return std::nullopt;
    }

    std::optional<std::string> unregisterItem() override {
        ++unregisterCalls;
        if (failUnregisterWith) {
            return failUnregisterWith;
        }
        current = LoginItemStatus::notRegistered;
        return std::nullopt;
    }
};

}  // namespace morvale::sim
