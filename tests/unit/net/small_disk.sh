#!/bin/bash
# Test fixture: a small file system (16 KiB unless SIZE says otherwise) at
# FOLDER/mnt, and a link from FOLDER/link to a file on it: for the data file
# of the write-failure test, with room for the state file beside the link.
#   small_disk.sh setup|cleanup FOLDER [SIZE]
set -u
dir=$2
case $1 in
  setup)
    mkdir -p "$dir/mnt" "$dir/link"
    mountpoint -q "$dir/mnt" || mount -t tmpfs -o size=${3:-16k} tmpfs "$dir/mnt" 2>/dev/null || {
      echo "cannot mount a small file system here; the test skips"; rm -rf "$dir/link"; exit 0; }
    rm -f "$dir/mnt/data" "$dir/link/"*
    : >"$dir/mnt/data"
    ln -sfn "$dir/mnt/data" "$dir/link/setup.exe.tsk"
    ;;
  cleanup)
    mountpoint -q "$dir/mnt" && umount "$dir/mnt"
    rm -rf "$dir"
    ;;
esac
exit 0
