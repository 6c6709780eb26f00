#!/usr/bin/env bash
# Builds replica, creates an embedded demo installation (three companies) in
# demo-install/, simulates ERP activity in the download-source company (and
# some in company 001) and runs the agent once, headless, for company 001.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"

build="$here/build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j"$(nproc)" replica replica_demo_tool

dir="${REPLICA_DEMO_DIR:-$here/demo-install}"
"$build/demo/replica_demo_tool" build "$dir"
# Inventory documents, with updates, annulments and deletions; then a few
# documents of other families and master records.
"$build/demo/replica_demo_tool" simulate "$dir" --company 002 --seed 7 --documents 40 \
    --types 11,12,13,14,15,16,17,18 --updates 4 --annulments 4 --deletions 4
"$build/demo/replica_demo_tool" simulate "$dir" --company 002 --seed 8 --documents 10 --masters 3
# Account documents (vouchers, notes, applications, advances) written in the
# download source and in company 001 itself, so they replicate in both phases;
# vouchers and applications name notes and advances written before them, and
# customer advances the cash receipts (61) written with them.
"$build/demo/replica_demo_tool" simulate "$dir" --company 002 --seed 9 --documents 20 \
    --types 1,41,42,43,45,51,52,53,55,61 --updates 2 --annulments 2 --deletions 2
"$build/demo/replica_demo_tool" simulate "$dir" --company 001 --seed 10 --documents 18 \
    --types 1,41,42,43,45,51,52,53,55 --updates 2 --annulments 2 --deletions 2
# Cash and bank documents with the invoices and advances their lines settle,
# on both sides: 002's come down to 001, 001's go up to 002 and 003. The
# first documents of the run are updated, the next annulled (cash documents)
# and the bank documents deleted.
for company in 002 001; do
    "$build/demo/replica_demo_tool" simulate "$dir" --company "$company" --seed 11 \
        --documents 17 --masters 0 --types 21,31,45,55,61,62,63,64,65,66,71,72,73,74,75,76,77 \
        --updates 6 --annulments 4 --deletions 7
done
# Purchase documents that 001 receives as inventory movements; then
# transfers and purchase documents of 001 itself, for the upload phase: 002
# keeps purchase documents as they are, 003 takes them as movements.
"$build/demo/replica_demo_tool" simulate "$dir" --company 002 --seed 13 --documents 6 \
    --masters 0 --types 21,22,24 --updates 1 --annulments 1 --deletions 1
"$build/demo/replica_demo_tool" simulate "$dir" --company 001 --seed 14 --documents 12 \
    --masters 0 --types 13,21,22,24 --updates 2 --annulments 2 --deletions 2
# Items and their satellite tables, classification, brands and discounts:
# three records of each, one then updated and one deleted (the accounting
# setup has no key to edit or delete it by), in the download source and in
# the local company (which the upload phase sends).
items=101,124,125,126,127,128,129,1291,201,202,203,204,205
"$build/demo/replica_demo_tool" simulate "$dir" --company 002 --seed 15 --documents 0 \
    --masters 39 --types "$items" --master-updates 12 --master-deletions 12
"$build/demo/replica_demo_tool" simulate "$dir" --company 001 --seed 16 --documents 0 \
    --masters 39 --types "$items" --master-updates 12 --master-deletions 12
# Third parties, accounting setup and payroll records: two of each, every
# first one then updated, a payroll concept deleted and an account deleted
# (accounts have no deletion: the event completes and the copy stays); then
# payroll receivables collecting the customer notes and advances written with
# them, and novelties, one receivable deleted ("A"). In both companies, for
# both phases.
masters=96,100,102,103,104,105,106,111,112,113,114,115,116,117,142,152,192
for company in 002 001; do
    seed=$([ "$company" = 002 ] && echo 17 || echo 19)
    "$build/demo/replica_demo_tool" simulate "$dir" --company "$company" --seed "$seed" \
        --documents 0 --masters 34 --types "$masters" --master-updates 17 --master-deletions 2
    "$build/demo/replica_demo_tool" simulate "$dir" --company "$company" --seed "$((seed + 1))" \
        --documents 8 --masters 0 --types 41,45,94,193 --updates 4 --deletions 2
done
# Sales documents with the disbursements that refund returns, and redemptions:
# invoices with negative and payment lines, returns naming invoices; then the
# points records of those documents, one deleted again. 002's come down to
# 001 (which takes invoices as exits), 001's go up to 002 and 003 as invoices.
for company in 002 001; do
    seed=$([ "$company" = 002 ] && echo 21 || echo 23)
    "$build/demo/replica_demo_tool" simulate "$dir" --company "$company" --seed "$seed" \
        --documents 14 --masters 0 --types 31,32,33,34,35,62,81 --updates 2 --annulments 2 \
        --deletions 2
    "$build/demo/replica_demo_tool" simulate "$dir" --company "$company" --seed $((seed + 1)) \
        --documents 0 --masters 3 --types 235 --master-deletions 1
done
export REPLICA_APP_DIR="$dir"
# One run takes every pending event of both phases (the window's default of
# 100 events per phase would leave the rest to the next runs of its timer).
set +e
"$build/app/replica" --headless --once --download-count 2000 --upload-count 2000 \
    "$dir" SYSDBA masterkey 001
status=$?
set -e
echo "replica exited with status $status; logs in $dir (errorenvio.txt, ENVIO.TXT)"
exit 0
