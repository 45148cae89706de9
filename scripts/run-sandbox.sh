# SPDX-License-Identifier: Apache-2.0
# Sourced by the benchmark and soak scripts: points the program's XDG folders into WORK, so a
# run touches nothing of the user's, and gives it a harmless "Messages" (the index finger's
# application) that starts `true`.
#   . scripts/run-sandbox.sh WORK
work_dir=$1
export XDG_RUNTIME_DIR=$work_dir/runtime XDG_CACHE_HOME=$work_dir/cache
export XDG_CONFIG_HOME=$work_dir/config
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
mkdir -p "$work_dir/data/applications"
printf '[Desktop Entry]\nType=Application\nName=Messages\nExec=true\n' \
    >"$work_dir/data/applications/messages.desktop"
export XDG_DATA_HOME=$work_dir/data XDG_DATA_DIRS=$work_dir/none
