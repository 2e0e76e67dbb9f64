// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace morvale {

// A four-character code: the four characters' bytes with the first one most significant.
constexpr std::uint32_t fourCC(const char (&code)[5]) {
    return (std::uint32_t{static_cast<unsigned char>(code[0])} << 24) |
           (std::uint32_t{static_cast<unsigned char>(code[1])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(code[2])} << 8) |
           std::uint32_t{static_cast<unsigned char>(code[3])};
}

// Printable form for logs and test messages: 'stm#' when all four bytes are
// printable, the decimal value otherwise.
std::string fourCCString(std::uint32_t code);

// Scopes.
inline constexpr std::uint32_t kScopeGlobal = fourCC("glob");
inline constexpr std::uint32_t kScopeInput = fourCC("inpt");

// Selectors.
inline constexpr std::uint32_t kDefaultOutputDevice = fourCC("dOut");
inline constexpr std::uint32_t kDeviceUID = fourCC("uid ");
inline constexpr std::uint32_t kDeviceStreams = fourCC("stm#");
inline constexpr std::uint32_t kIOProcStreamUsage = fourCC("suse");
inline constexpr std::uint32_t kProcessObjectList = fourCC("prs#");
inline constexpr std::uint32_t kProcessPID = fourCC("ppid");
inline constexpr std::uint32_t kProcessBundleID = fourCC("pbid");
// The name a process gives itself to the audio system in words, where it
// gives one of its own (not its program's file name): a string.
inline constexpr std::uint32_t kProcessDeclaredName = fourCC("pdnm");
inline constexpr std::uint32_t kProcessIsRunningOutput = fourCC("piro");
// The process records from an input device (never from the output's own
// sound, such as a monitor of an output).
inline constexpr std::uint32_t kProcessIsRunningInput = fourCC("piri");
// The system object: how far the sound server lowers other applications
// during a call, in decibels (a Float32, 0 when it lowers nothing). Absent
// where the platform can not tell: the boost then lifts what plays during
// any call.
inline constexpr std::uint32_t kCallDuckingDB = fourCC("dcks");
// A process tap's description, settable: a `const TapDescription*` is written.
inline constexpr std::uint32_t kTapDescription = fourCC("tdsc");
// A gain stage's gain, settable: a Float32, the linear factor (0 silences,
// above 1 lifts).
inline constexpr std::uint32_t kGainStageGain = fourCC("gstg");
// An aggregate device's main sub-device, the output it plays on, settable: a
// StringRef holding the output device's UID is written (the writer keeps
// and releases it).
inline constexpr std::uint32_t kAggregateMainSubDevice = fourCC("amst");

// The system object: the output devices a user may send applications to (the
// sound server's sinks, never this program's own), an object id list.
inline constexpr std::uint32_t kOutputDeviceList = fourCC("odv#");
// A device's name for people ("Headphones"), a string.
inline constexpr std::uint32_t kDeviceName = fourCC("lnam");
// The system object, settable: where the streams of which processes play. A
// `const OutputRoutes*` is written (platform/OutputRoute.h).
inline constexpr std::uint32_t kOutputRoutes = fourCC("orts");
// A process object: the UID of the output device its playback streams play
// on now, a string; empty while none of them is connected to one.
inline constexpr std::uint32_t kProcessOutputDevice = fourCC("pdev");

inline constexpr std::uint32_t kElementMain = 0;

}  // namespace morvale
