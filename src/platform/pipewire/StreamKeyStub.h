#pragma once

#include <map>
#include <string>

namespace morvale::pipewire {

// The key WirePlumber 0.4 stores a stream's volume under
// ("Output/Audio:media.role:Music"): the media class without "Stream/", and
// the first of media.role, application.id, application.name, media.name and
// node.name that the stream has. Empty when it has none.
inline std::string streamMemoryKey(const std::map<std::string, std::string>& properties) {
    std::string mediaClass;
    if (const auto it = properties.find("media.class"); it != properties.end()) {
        mediaClass = it->second;
    }
    if (mediaClass.starts_with("Stream/")) {
        mediaClass.erase(0, 7);
    }
    for (const char* key :
         {"media.role", "application.id", "application.name", "media.name", "node.name"}) {
        if (const auto it = properties.find(key); it != properties.end() && !it->second.empty()) {
            return mediaClass + ":" + key + ":" + it->second;
        }
    }
    return {};
}

}  // namespace morvale::pipewire
