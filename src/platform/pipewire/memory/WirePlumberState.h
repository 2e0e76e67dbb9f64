// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvale::pipewire {

// What WirePlumber's stream memory holds: the stored `volume` of each key,
// read from its state files. 0.4 writes "restore-stream" (one line per key
// and property: "Output/Audio:media.role:Music:volume=0.3"); 0.5 writes
// "stream-properties" (one line per key, the properties as a JSON object:
// "Output/Audio:media.role:Music={\"volume\":0.3, …}"). Both are key files
// whose keys WirePlumber escapes ("\s" for a space, "\e" for '=', "\o" and
// "\c" for brackets, "\\" for a backslash).
// Everything WirePlumber restores onto a stream from one key's entry.
struct StoredStream {
    std::optional<double> volume;
    std::optional<bool> mute;
    std::vector<float> channelVolumes;     // the application's own volumes
    std::vector<std::string> channelMap;   // "FL", "FR", …
};
struct StoredVolumes {
    std::map<std::string, double, std::less<>> volumes;        // key text -> volume
    std::map<std::string, StoredStream, std::less<>> streams;  // key text -> entry
    std::vector<std::string> problems;                         // lines that made no sense
};
StoredVolumes parseRestoreStream(std::string_view text);
StoredVolumes parseStreamProperties(std::string_view text);

// $XDG_STATE_HOME/wireplumber (~/.local/state/wireplumber when unset).
std::string wirePlumberStateFolder();
// Both files of the folder, whichever exist (the newer version's entries win
// where both name a key).
StoredVolumes readStoredVolumes(const std::string& folder);

// Whether a stored volume is WirePlumber's own full level (it writes 1.0,
// and a float written through a double may differ in the last digits).
bool isFullVolume(double volume);

}  // namespace morvale::pipewire
