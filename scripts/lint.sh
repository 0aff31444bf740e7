#!/usr/bin/env bash
# The lint pass: every C++ file of ours must be formatted as .clang-format says,
# and the program's own code (not tests, benchmarks or fuzz targets) must pass
# the checks chosen in .clang-tidy. Needs a configured and built BUILD_DIR
# (default build/) for its compile commands and generated headers.
# clang-tidy takes seconds a file, so a file whose preprocessed text, flags and
# checks are unchanged since it last passed is not checked again: the record
# of passes lives in QUILL_LINT_CACHE (default ~/.cache/quillmate/lint).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
CACHE=${QUILL_LINT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmate/lint}
mkdir -p "$CACHE"

status=0
echo "== format"
unformatted=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror 2>&1 | grep -o '^[^:]*:[0-9]*:[0-9]*: error' | cut -d: -f1 | sort -u || true)
if [[ -n $unformatted ]]; then
    echo "not formatted (run clang-format -i on them):"
    echo "$unformatted"
    status=1
fi

echo "== clang-tidy"
[[ -f $BUILD_DIR/compile_commands.json ]] || { echo "no $BUILD_DIR/compile_commands.json: build first"; exit 1; }
python3 - "$BUILD_DIR" "$CACHE" "$(nproc)" <<'PY' || status=1
import concurrent.futures, hashlib, json, os, shlex, subprocess, sys
build, cache, jobs = sys.argv[1], sys.argv[2], int(sys.argv[3])
root = os.getcwd()
ours = ("src/", "server/", "capture/", "tools/", "site/")
config = open(".clang-tidy", "rb").read() + subprocess.run(
    ["clang-tidy", "--version"], capture_output=True).stdout
entries = [e for e in json.load(open(os.path.join(build, "compile_commands.json")))
           if os.path.relpath(e["file"], root).startswith(ours)]

def key(entry):
    args = shlex.split(entry["command"])
    out = args.index("-o")
    del args[out:out + 2]
    args = [a for a in args if a != "-c"] + ["-E", "-P"]
    text = subprocess.run(args, cwd=entry["directory"], capture_output=True).stdout
    # Where the checkout lies does not change the findings.
    command = entry["command"].replace(root, "@ROOT@").encode()
    text = text.replace(root.encode(), b"@ROOT@")
    return hashlib.sha256(config + command + text).hexdigest()

def check(entry):
    stamp = os.path.join(cache, key(entry))
    if os.path.exists(stamp):
        return True, ""
    run = subprocess.run(["clang-tidy", "-p", build, "--quiet", entry["file"]],
                         capture_output=True, text=True)
    if run.returncode == 0:
        open(stamp, "w").close()
        return True, ""
    return False, run.stdout + run.stderr

failed = 0
with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
    for ok, text in pool.map(check, entries):
        if not ok:
            failed += 1
            print(text)
print(f"{len(entries)} files, {failed} with findings")
sys.exit(1 if failed else 0)
PY
exit $status
