// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace morvale::pipewire {

// Where a stream's volume goes next on the way to a new one, on servers whose
// streams step to a new volume at the next quantum (PipeWire before 0.3.68):
// a large change is spread over steps of at most `maxStep` (linear), one per
// ramp interval, so that a slider drag does not click. A step's click is the
// signal's amplitude times the step, so it is the linear step that is
// bounded: 0.05 keeps it below a full-scale 1 kHz tone's own largest sample
// step (0.13) even when two steps land in one quantum. A change larger than
// kRampSteps such steps takes larger ones, so that no change takes longer
// than kRampSteps intervals: a boost or a mute is not heard to lag.
inline constexpr float kRampMaxStep = 0.05f;
inline constexpr int kRampSteps = 10;

// The step for a change from `from` to `to`, fixed when the change begins.
float rampStepFor(float from, float to);

// The volume to set now; equal to `target` once there.
float nextRampStep(float current, float target, float maxStep = kRampMaxStep);

}  // namespace morvale::pipewire
