// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ProgramNames.h"

#include <algorithm>
#include <array>

namespace morvale::LinuxDesktop {

namespace {

constexpr std::array<std::string_view, 9> kShells = {"sh",  "bash", "dash", "zsh", "fish",
                                                     "ksh", "mksh", "tcsh", "csh"};

constexpr std::array<std::string_view, 21> kInterpretersAndWrappers = {
    "env",  "perl",   "ruby", "node",   "nodejs",   "java",       "mono",
    "wine", "wine64", "gjs",  "lua",    "tclsh",    "wish",       "flatpak",
    "snap", "bwrap",  "sudo", "pkexec", "xdg-open", "gtk-launch", "electron"};

// What starts a session and the programs in it.
// clang-format off
constexpr std::array<std::string_view, 15> kSessionStarters = {
    "systemd", "init", "xinit", "gnome-session", "gnome-session-binary", "gdm-x-session",
    "gdm-wayland-session", "ksmserver", "startplasma-x11", "startplasma-wayland",
    "xfce4-session", "lxsession", "lxqt-session", "mate-session", "cinnamon-session"};
// clang-format on

// Desktop shells, panels and launchers that start applications.
constexpr std::array<std::string_view, 12> kDesktopShells = {
    "gnome-shell", "plasmashell", "kwin_x11",     "kwin_wayland", "krunner", "xfce4-panel",
    "xfdesktop",   "cinnamon",    "budgie-panel", "sway",         "i3",      "lightdm"};

// Services that start programs on others' behalf, and terminal multiplexers.
constexpr std::array<std::string_view, 6> kServiceStarters = {
    "dbus-daemon", "dbus-broker", "sddm-helper", "sshd", "tmux", "screen"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& names, std::string_view program) {
    return std::find(names.begin(), names.end(), program) != names.end();
}

// "python3", "python3.11", "pypy3": any version of the Python interpreter.
bool isPython(std::string_view program) {
    return program.starts_with("python") || program.starts_with("pypy");
}

}  // namespace

bool isGenericProgram(std::string_view program) {
    return program.empty() || contains(kShells, program) ||
           contains(kInterpretersAndWrappers, program) || isPython(program);
}

bool endsParentSearch(std::string_view program) {
    return contains(kShells, program) || contains(kSessionStarters, program) ||
           contains(kDesktopShells, program) || contains(kServiceStarters, program) ||
           program.starts_with("flatpak-") || program.starts_with("dbus-broker");
}

}  // namespace morvale::LinuxDesktop
