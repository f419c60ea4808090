#!/bin/sh
# device_test.sh DEVSIM PROGRAM [ARGS...]: two simulated sensors, the native tvk9-devsim DEVSIM
# on pseudo-terminals, become COM201 and COM202 of the test prefix (devices.sh); then PROGRAM
# runs under Wine (run.sh) with TVK9_TEST_PORT (a plain device), TVK9_TEST_SPLIT_PORT (one that
# sends each report in two halves 250 ms apart) and TVK9_TEST_REGISTERED naming them.
set -eu
devsim=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
. "$here/devices.sh"

device 201 3
device 202 4 --split 250

TVK9_TEST_PORT=COM201 TVK9_TEST_SPLIT_PORT=COM202 TVK9_TEST_REGISTERED=COM201,COM202 \
    sh "$here/run.sh" "$@"
