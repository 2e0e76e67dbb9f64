#pragma once

namespace morvale::pipewire {

// Where a stream's volume goes next on the way to a new one, on servers whose
// streams step to a new volume at the next quantum (PipeWire before 0.3.68):
// a large change is spread over several steps of at most `maxStepDb` each, a
// step per quantum or so, so that a slider drag does not click. Volumes below
// kRampFloor count as silence: a fade to 0 ends with one step from there.
inline constexpr float kRampFloor = 0.001f;  // -60 dB
inline constexpr float kRampMaxStepDb = 2.0f;

// The volume to set now; equal to `target` once there.
float nextRampStep(float current, float target, float maxStepDb = kRampMaxStepDb);

}  // namespace morvale::pipewire
