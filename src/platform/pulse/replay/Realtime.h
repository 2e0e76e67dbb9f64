// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

namespace morvale::pulse {

enum class RealtimeGrant {
    direct,       // the process may set real-time scheduling itself
    realtimeKit,  // RealtimeKit set it on request
    unavailable,  // neither: the thread keeps its normal scheduling
};

// Gives the thread `tid` of this process round-robin real-time scheduling at
// `priority`, the way Linux audio clients do for the thread that feeds the
// sound server, so that a busy desktop does not starve it: directly where the
// process may (CAP_SYS_NICE, or an RLIMIT_RTPRIO that allows it), else through
// RealtimeKit on the system bus, with the priority lowered to what RealtimeKit
// allows. Either way RLIMIT_RTTIME is set first (RealtimeKit demands it): a
// real-time thread that runs 200 ms without sleeping is stopped by the kernel
// instead of freezing a core. Where neither way works (no system bus, as in
// CI, or RealtimeKit refuses) nothing changes and nothing is reported. Blocks
// for at most a D-Bus round trip with a short timeout.
RealtimeGrant makeRealtime(pid_t tid, int priority);

}  // namespace morvale::pulse
