#!/usr/bin/env bash
# A user's session on a private PulseAudio server: Morvale (the real program,
# offscreen) with paplay's volume stored at 50%, a tone, N more quiet streams
# of paplay started 0.1 s apart, then the tone's process ends and a new one
# starts. Prints the levels heard on the output (1.0 = the tone untapped; 0.25
# expected at 50%) and where the streams are.
#   bench/pulse/user_session.sh <morvale binary> [N (default 50)]
# Needs pulseaudio, pulseaudio-utils and sox.
MORVALE=$(realpath "$1"); D=$(mktemp -d); cd "$D"; N=${2:-50}; mkdir -p $D/rt $D/cfg/morvale; chmod 700 $D/rt
export XDG_RUNTIME_DIR=$D/rt XDG_CONFIG_HOME=$D/cfg PULSE_SERVER=unix:$D/rt/native HOME=$D
echo '{"volumes": {"proc:paplay": 0.5}}' > $D/cfg/morvale/settings.json
pulseaudio -n --daemonize=no --exit-idle-time=-1 -L "module-native-protocol-unix socket=$D/rt/native auth-anonymous=1" -L "module-null-sink sink_name=speakers" >/dev/null 2>&1 & PA=$!
for i in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done; pactl set-default-sink speakers
rec() { timeout $2 parecord -d $1 --format=float32le --channels=1 --rate=48000 --raw $3 2>/dev/null; }
lvl() { python3 -c "
import sys,array,math
a=array.array('f',open('$1','rb').read()); x=a[int(0.2*48000):int(0.9*48000)]
print('%.3f' % (math.sqrt(sum(v*v for v in x)/max(1,len(x)))/(0.5/math.sqrt(2))))"; }
sox -n -r 48000 -c 2 tone.wav synth 60 sine 440 vol 0.5
sox -n -r 48000 -c 2 quiet.wav synth 60 sine 440 vol 0.001
paplay tone.wav & T=$!
QT_QPA_PLATFORM=offscreen $MORVALE >/dev/null 2>morvale.err & M=$!
sleep 4; rec speakers.monitor 1 a.raw; echo "tone: $(lvl a.raw)"
for i in $(seq ${N:-50}); do paplay quiet.wav & sleep 0.1; done; sleep 3
kill $T; sleep 2; paplay tone.wav & T=$!; sleep 1.5
rec speakers.monitor 1 b.raw; echo "new tone after 1.5 s: $(lvl b.raw)"
pactl list short sink-inputs | awk "{print \$2}" | sort | uniq -c
pactl list short sinks | awk '{print $2, $NF}'
pactl list short source-outputs | awk '{print $2, $NF}'
pactl list sink-inputs | grep -E "Sink Input|Corked|application.process.id|media.name" | paste - - - - | tail -4; sleep 3; rec speakers.monitor 1 c.raw; echo "new tone after 5 s: $(lvl c.raw)"
kill $M; wait $M; pkill -P $$ paplay; kill $PA; wait 2>/dev/null
