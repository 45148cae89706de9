#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the project's benchmarks on this machine and writes BENCHMARKS.md.
#   scripts/bench.sh [BUILD_DIR]     (make bench)
# The figures are only as good as the machine is quiet: the load average is recorded with each.
# "Under load" runs start two processes that spin on the CPU for the run (--hogs 2), so that
# both cores are busy whatever else the machine does.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=BENCHMARKS.md
work=$(mktemp -d "${TMPDIR:-/tmp}/palmcue-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
hands=$PWD/../shared/hands
[[ -d $hands ]] || { echo "bench.sh: $hands is not there" >&2; exit 1; }

for tool in bench/palmcue-bench-handpose bench/palmcue-bench-app bench/palmcue-bench-modes \
    Palmcue/PalmcueApp/palmcue tools/palmcue-moving-hand-video \
    Palmcue/camera/palmcue-bench-camera Palmcue/desktop/palmcue-bench-catalogue; do
    [[ -x $build/$tool ]] || { echo "bench.sh: $build/$tool is not built (make build)" >&2; exit 1; }
done

. scripts/run-sandbox.sh "$work"

# v(k): the value of key k among a line's key=value words, "?" when missing; a value may hold "=".
value_awk='
    function v(k) { for (i = 1; i <= NF; ++i) { j = index($i, "="); if (j > 0 && substr($i, 1, j - 1) == k) return substr($i, j + 1) } return "?" }'
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

# Prints the time from process start to the first drawn frame of one start of palmcue.
cat >"$work/first-frame.sh" <<'SCRIPT'
log=$(mktemp)
PALMCUE_REPORT_STARTUP=1 "$1" >"$log" 2>/dev/null &
pid=$!
for _ in $(seq 100); do
    grep -q "first frame" "$log" && break
    sleep 0.1
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
sed -n 's/.*first frame \([0-9]*\) ms.*/\1/p' "$log"
rm -f "$log"
SCRIPT
palmcue=$PWD/$build/Palmcue/PalmcueApp/palmcue

# The camera files: 1280x720 at 30 fps, looped by the program.
echo "bench.sh: making the camera files"
scripts/make-test-video.sh "$work/hands.mp4"
frame="scale=1280:720:force_original_aspect_ratio=decrease,pad=1280:720:(ow-iw)/2:(oh-ih)/2,setsar=1,fps=30"
ffmpeg -loglevel error -y -loop 1 -t 2 -i "$hands/one_hagrid_01.jpg" -vf "$frame" \
    -pix_fmt yuyv422 -c:v rawvideo "$work/hand-yuyv.avi"
ffmpeg -loglevel error -y -f lavfi -i "color=c=0x303030:s=1280x720:r=30:d=2" \
    -pix_fmt yuyv422 -c:v rawvideo "$work/nohand-yuyv.avi"

echo "bench.sh: hand-pose step"
"$build/tools/palmcue-moving-hand-video" "$hands" "$work/moving.avi" >/dev/null
handpose=""
scenes=""
for args in "--threads 1" "--threads 1 --video moving.avi --every 3" "--threads 1 --no-hand" \
    "--threads 1 --hogs 2" "--threads 2" "--threads 2 --hogs 2"; do
    read -ra options <<<"${args/moving.avi/$work/moving.avi}"
    run=$("$build/bench/palmcue-bench-handpose" "${options[@]}" --iterations 200)
    handpose+="\$ palmcue-bench-handpose $args"$'\n'"$run"$'\n\n'
    [[ $args == *hogs* || $args == *"threads 2"* ]] ||
        scenes+="$args "$(grep '^summary:' <<<"$run" || echo "summary: failed=1")$'\n'
done
# One row per scene: a hand held still, a hand moving, no hand.
scene_table=$(awk "$value_awk"'
    NF {
        scene = /--video/ ? "hand moving (moving.avi, one frame in 3)" : /--no-hand/ ? "no hand" : "hand held still"
        load = $0; sub(/.* load=/, "", load)
        printf "| %s | **%s** | %s of %s | %s of %s | %s / %s / %s | %s |\n", scene, v("cpu_ms"),
            v("palm_ran"), v("frames"), v("found"), v("frames"), v("palm_ms"), v("landmark_ms"),
            v("prepost_ms"), load
    }' <<<"$scenes")

echo "bench.sh: camera frame path"
camera=$("$build/Palmcue/camera/palmcue-bench-camera" --benchmark_filter='YUV420P|NV12|YUYV|BGRA' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
    grep -E '_median|^Benchmark|^-' || true)
echo "bench.sh: application catalogue"
catalogue=$("$build/Palmcue/desktop/palmcue-bench-catalogue" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '_median|^Benchmark|^-' || true)

echo "bench.sh: the whole program on each camera file, 30 s each, quiet and under load"
app_runs=""
summaries=""
for file in hand-yuyv.avi hands.mp4 nohand-yuyv.avi; do
    for hogs in 0 2; do
        started=$(load)
        run=$(QT_QPA_PLATFORM=offscreen "$build/bench/palmcue-bench-app" \
            --camera-file "$work/$file" --seconds 30 --every 10 --summary --hogs "$hogs" \
            2>/dev/null)
        app_runs+="\$ palmcue-bench-app --camera-file $file --seconds 30 --every 10 --summary --hogs $hogs"$'\n'
        app_runs+="load average at the start: $started"$'\n'"$run"$'\n\n'
        summaries+=$(grep '^summary:' <<<"$run" || echo "summary: file=$file hogs=$hogs failed=1")$'\n'
    done
done
# One table row per summary line of key=value pairs.
table=$(awk "$value_awk"'
    /^summary:/ {
        load = $0; sub(/.* load=/, "", load)
        printf "| %s | %s | %s | %s | **%s** | %s | %s | %s (%s) | %s | %s | %s | %s | %s | %s |\n",
            v("file"), v("hogs") == "0" ? "no" : "yes", v("program_cpu%"), v("inference_cpu%"),
            v("ratio"), v("pipeline_cpu%"), v("ratio_without_pipeline"), v("frames"), v("with_hand"), v("inference_ms_per_frame"), v("rss_MiB"),
            v("p50_ms"), v("p90_ms"), v("p99_ms"), load
    }' <<<"$summaries")

echo "bench.sh: the window on screen and offscreen, shown and closed, 30 s each"
# Interleaved, so that shown and closed see the same machine: Xvfb shown, Xvfb closed,
# offscreen shown, offscreen closed, twice.
window_runs=""
window_summaries=""
for _ in 1 2; do
    for where in xvfb offscreen; do
        for window in shown closed; do
            bench=("$build/bench/palmcue-bench-app" --camera-file "$work/hand-yuyv.avi"
                --seconds 30 --every 10 --summary --window "$window")
            if [[ $where == xvfb ]]; then
                command -v xvfb-run >/dev/null || continue
                bench=(xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "${bench[@]}")
            else
                bench=(env QT_QPA_PLATFORM=offscreen "${bench[@]}")
            fi
            started=$(load)
            run=$("${bench[@]}" 2>/dev/null || true)
            window_runs+="\$ palmcue-bench-app --camera-file hand-yuyv.avi --seconds 30 --every 10 --summary --window $window   ($where)"$'\n'
            window_runs+="load average at the start: $started"$'\n'"$run"$'\n\n'
            threads=$(grep '^threads:' <<<"$run" | cut -d' ' -f2-5 || true)
            window_summaries+=$(grep '^summary:' <<<"$run" | sed "s|\$| where=$where threads=${threads// /,}|" ||
                echo "summary: file=hand-yuyv.avi window=$window where=$where failed=1")$'\n'
        done
    done
done
# Shown against the closed run just after it, on the same display.
window_table=$(awk "$value_awk"'
    /^summary:/ {
        load = $0; sub(/.* load=/, "", load); sub(/ where=.*/, "", load)
        if (v("window") == "shown") { shown = v("program_cpu%"); shownRss = v("rss_MiB"); next }
        cpu = v("program_cpu%")
        ratio = (cpu > 0 && shown != "") ? sprintf("%.2f", shown / cpu) : "?"
        printf "| %s | %s | %s | %s | **%s** | %s | %s | %s |\n", v("where"), v("drawing"), shown,
            cpu, ratio, shownRss, v("rss_MiB"), load
        shown = ""
    }' <<<"$window_summaries")
window_threads=$(awk "$value_awk"'
    /^summary:/ { t = v("threads"); gsub(",", " ", t)
        printf "| %s | %s | %s |\n", v("where"), v("window"), t }' <<<"$window_summaries")

# Shown and closed at the same time, each on its own Xvfb: the two see the same machine from
# moment to moment, so that their ratio holds up on a shared machine whose speed drifts from one
# run to the next more than drawing costs.
echo "bench.sh: the window on screen, shown and closed side by side, 30 s, three times"
side_table=""
side_runs=""
cpu() { grep -o 'program_cpu%=[0-9.]*' "$work/side-$1.txt" | cut -d= -f2 || echo "?"; }
if command -v xvfb-run >/dev/null; then
    for round in 1 2 3; do
        started=$(load)
        display=90
        for window in shown closed; do
            xvfb-run -a -n "$display" -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb \
                "$build/bench/palmcue-bench-app" --camera-file "$work/hand-yuyv.avi" --seconds 30 \
                --every 10 --summary --window "$window" >"$work/side-$window.txt" 2>/dev/null &
            display=$((display + 10))
        done
        wait || true
        shown=$(cpu shown)
        closed=$(cpu closed)
        ratio=$(awk -v s="$shown" -v c="$closed" 'BEGIN { print (c > 0) ? sprintf("%.2f", s / c) : "?" }')
        side_table+="| $round | $shown | $closed | **$ratio** | $started |"$'\n'
        for window in shown closed; do
            side_runs+="\$ palmcue-bench-app --camera-file hand-yuyv.avi --seconds 30 --every 10 --summary --window $window   (xvfb, side by side, round $round)"$'\n'
            side_runs+="$(grep -E '^(summary|threads):' "$work/side-$window.txt" || true)"$'\n\n'
        done
    done
fi

echo "bench.sh: camera modes"
camera_modes=$(scripts/bench-camera-modes.sh "$build")

echo "bench.sh: time to first window"
offscreen=$(for _ in 1 2 3 4 5; do
    QT_QPA_PLATFORM=offscreen bash "$work/first-frame.sh" "$palmcue"
done | median)
xvfb="not measured (xvfb-run missing)"
if command -v xvfb-run >/dev/null; then
    xvfb=$(for _ in 1 2 3; do
        xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/first-frame.sh" "$palmcue"
    done | median)
    xvfb="$xvfb ms"
fi

{
    echo "# Benchmarks"
    echo
    echo "Generated by \`make bench\` (scripts/bench.sh) on $(date -u '+%Y-%m-%d %H:%M UTC')."
    echo
    echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores,"
    echo "$(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(. /etc/os-release && echo "$PRETTY_NAME"),"
    echo "no GPU. Every figure comes with the load average (1, 5 and 15 minutes) of its run: wall"
    echo "times (p50, p99) are only as good as the machine was quiet; CPU times per frame hold up"
    echo "better."
    echo
    echo "## The running program"
    echo
    echo "\`palmcue-bench-app --camera-file FILE --seconds 30 --every 10 --summary [--hogs 2]\`"
    echo "runs the whole program (the same window, services and detector as \`palmcue\`; offscreen,"
    echo "where Qt Quick's software renderer draws the window, preview included, into memory) with"
    echo "detection started, on three 1280x720, 30 fps"
    echo "camera files: raw YUYV of a raised index finger (\`hand-yuyv.avi\`), the H.264 video of"
    echo "\`scripts/make-test-video.sh\` (hand photos and empty frames, two seconds each,"
    echo "\`hands.mp4\`) and raw YUYV of an empty grey picture (\`nohand-yuyv.avi\`). Over the run"
    echo "less its first 5 s: the whole program's CPU (share of one core), the CPU of the"
    echo "hand-pose step on the frames it analysed (thread CPU time around \`detect()\`, every"
    echo "thread that works on it), their ratio; the CPU of the camera file's GStreamer streaming"
    echo "threads (reading and decoding the file: a camera and its driver do that work instead)"
    echo "and the ratio without them; frames analysed (with a hand), the step's CPU per frame,"
    echo "resident memory at the end, and the step's wall time percentiles. \"Under load\": two"
    echo "other processes spin on the CPU meanwhile."
    echo
    echo "| file | under load | program CPU % | hand-pose CPU % | ratio | file pipeline CPU % | ratio without it | frames (hand) | ms CPU / frame | RSS MiB | p50 ms | p90 ms | p99 ms | load average |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
    echo "$table"
    echo
    echo "Each run in full: every 10 s the CPU share over the last 10 s, resident memory, open"
    echo "files, threads, frames analysed so far and launches; then the threads that used the most"
    echo "CPU in the summary's window (share of one core) and the summary."
    echo
    echo '```'
    echo "$app_runs"
    echo '```'
    echo
    echo "## The window, on screen and offscreen"
    echo
    echo "\`palmcue-bench-app --camera-file hand-yuyv.avi --seconds 30 --every 10 --summary --window shown|closed\`"
    echo "on an X display (Xvfb, drawn with the scene graph the program chooses there: where"
    echo "OpenGL is Mesa's llvmpipe, Qt's software scene graph) and offscreen, with the window shown"
    echo "and closed (hidden, detection going on), interleaved. Whole program's CPU (share of one"
    echo "core) over the run less its first 5 s, shown against closed, and resident memory at the end."
    echo
    echo "| where | drawing | CPU % shown | CPU % closed | shown / closed | RSS MiB shown | RSS MiB closed | load average |"
    echo "|---|---|---|---|---|---|---|---|"
    echo "$window_table"
    echo
    echo "The busiest threads of each run (share of one core):"
    echo
    echo "| where | window | busiest threads |"
    echo "|---|---|---|"
    echo "$window_threads"
    echo
    echo '```'
    echo "$window_runs"
    echo '```'
    echo
    echo "Shown and closed side by side: both runs at once, each on its own Xvfb, so that both"
    echo "see the same machine; whole program's CPU as above."
    echo
    echo "| round | CPU % shown | CPU % closed | shown / closed | load average at the start |"
    echo "|---|---|---|---|---|"
    echo "$side_table"
    echo
    echo '```'
    echo "$side_runs"
    echo '```'
    echo
    echo "## Hand-pose step per frame (1280x720 BGRA)"
    echo
    echo "CPU per analysed frame (thread CPU time of every thread working on \`detect()\`), one"
    echo "thread, frames fed in sequence without a reset as within a session: a hand held still (the"
    echo "same photo, \`gr_pointing_up.jpg\`, in every frame), a hand moving (one frame in three of"
    echo "\`palmcue-moving-hand-video\`'s video: four photos of one raised finger drifting, zooming"
    echo "and turning up to 30 degrees, looped) and no hand (a plain picture); how often the palm"
    echo "detector ran (it is skipped when the hand is followed from the previous frame) and the"
    echo "mean wall time of each stage per analysed frame."
    echo
    echo "| scene | ms CPU / analysed frame | palm detector ran | hand found | palm / landmark / pre-post ms | load average |"
    echo "|---|---|---|---|---|---|"
    echo "$scene_table"
    echo
    echo "Each run in full: \`palmcue-bench-handpose [--threads N] [--no-hand | --video FILE"
    echo "--every 3] [--hogs 2] --iterations 200\`, one"
    echo "frame every 100 ms, as the camera paces the analysed frames. Wall time of palm detection,"
    echo "landmark model and the pre/post-processing around them (colour conversion, letterbox,"
    echo "anchor decoding, rotated crop, projection), and CPU per frame: the step's own (every"
    echo "thread on it) and the whole process's (what a pool does between frames counts too)."
    echo "The program runs the step on one thread; \`--threads 2\` is the pool a tool may ask for."
    echo
    echo '```'
    echo "$handpose"
    echo '```'
    echo
    echo "## Camera frame path"
    echo
    echo "\`$build/Palmcue/camera/palmcue-bench-camera\`: per 1280x720 frame, what a delivered"
    echo "frame costs on its way to the detection thread (all frames: it is held, not copied) and"
    echo "its mapping and conversion to BGRA there (analysed frames only)."
    echo
    echo '```'
    echo "$camera"
    echo '```'
    echo
    echo "## Application catalogue"
    echo
    echo "\`$build/Palmcue/desktop/palmcue-bench-catalogue\`: the list of installed applications"
    echo "with 3,000 desktop entries, as every launch by name takes it afresh: all entries"
    echo "unchanged, one entry rewritten, and the program's first walk (every entry read)."
    echo
    echo '```'
    echo "$catalogue"
    echo '```'
    echo
    echo "$camera_modes"
    echo
    echo "## Time to first window"
    echo
    echo "\`PALMCUE_REPORT_STARTUP=1 palmcue\`: process start to the first frame drawn."
    echo
    echo "| where | median |"
    echo "|---|---|"
    echo "| offscreen (5 starts) | $offscreen ms |"
    echo "| Xvfb, the scene graph the program chooses there (3 starts) | $xvfb |"
} >"$out"
echo "bench.sh: wrote $out"
