#!/usr/bin/env bash
# Times Cryvan against the tools people use for the same job, whole process, on the same data in
# a RAM folder: encrypting and decrypting, median of R runs after a warm-up pass. Every
# decryption is compared with its input outside the timing, so no tool is timed doing less.
# Usage: scripts/compare.sh [--mib N] [--runs R] [--dir D] [--files N]
#   --mib N    size of the random and of the text file (MiB, default 512)
#   --runs R   timed runs per tool (default 3)
#   --dir D    where the work folder D/cryvan-compare goes (default /dev/shm), removed at the end
#   --files N  files in the tree (default 20000, about 150 MiB for 20000)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mib=512 runs=3 parent=/dev/shm files=20000
usage() {
    echo "usage: scripts/compare.sh [--mib N] [--runs R] [--dir D] [--files N]" >&2
    exit 2
}
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || usage
    case $1 in
    --mib) mib=$2 ;;
    --runs) runs=$2 ;;
    --dir) parent=$2 ;;
    --files) files=$2 ;;
    *) usage ;;
    esac
    shift 2
done
for n in "$mib" "$runs" "$files"; do
    [[ $n =~ ^[1-9][0-9]*$ ]] || usage
done
# A container stores files below 4 GiB.
[ "$mib" -lt 4096 ] || usage

# The peers, from the distribution, when missing.
need=()
command -v age >/dev/null && command -v age-keygen >/dev/null || need+=(age)
command -v gpg >/dev/null || need+=(gnupg)
command -v openssl >/dev/null || need+=(openssl)
command -v 7z >/dev/null || need+=(p7zip-full)
[ -x /usr/bin/time ] || need+=(time)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${need[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
bash scripts/install-deps.sh
bash scripts/build.sh >/dev/null
cryvan=$root/build/bin/cryvan

# The work folder is ours alone: a marker says so before anything is removed.
parent=${parent%/}
work=${parent:-/}/cryvan-compare
if [ -e "$work" ]; then
    if [ -f "$work/.cryvan-compare" ]; then
        rm -rf -- "$work"
    else
        echo "compare.sh: $work exists and was not made by this script; not touching it" >&2
        exit 2
    fi
fi
mkdir -p -- "$work"
touch -- "$work/.cryvan-compare"
export GNUPGHOME=$work/gnupg
cleanup() {
    local status=$?
    # The agent that gpg started for this home only.
    if [ -d "$GNUPGHOME" ]; then gpgconf --kill gpg-agent >/dev/null 2>&1 || true; fi
    rm -rf -- "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

data=$work/data out=$work/out restore=$work/restore keys=$work/keys
mkdir -p -- "$data" "$out" "$restore" "$keys" "$GNUPGHOME"
chmod 700 -- "$keys" "$GNUPGHOME"
(umask 077 && head -c 24 /dev/urandom | base64 >"$keys/password" &&
    head -c 32 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$keys/hmac" &&
    age-keygen -o "$keys/age.key" 2>/dev/null)
age_recipient=$(age-keygen -y "$keys/age.key")

echo "Making the data sets in $work ..."
head -c "$((mib << 20))" /dev/urandom >"$data/random.bin"
# Text: sentences of words from a generated vocabulary with Zipf frequencies (short words
# common), in lines and paragraphs of varied length, from a seeded generator. Sentences are
# drawn from a pool of 200,000 (about 16 MB), so a repeat lies further back than any window of
# the compressors compared here. The tree: files of log-uniform sizes (16 B to 64 KiB before
# scaling to the total), one in five random bytes, in 10 x 20 folders.
python3 - "$data" "$mib" "$files" <<'PY'
import os, random, sys

class Text:
    def __init__(self, seed, sentences=200000):
        rng = self.rng = random.Random(seed)
        onsets = ["", "b", "c", "d", "f", "g", "h", "l", "m", "n", "p", "r", "s", "t", "w",
                  "br", "ch", "cl", "dr", "fr", "gr", "pl", "pr", "sh", "st", "str", "th", "tr"]
        vowels = ["a", "e", "i", "o", "u", "ea", "ou", "ai", "ie", "y"]
        codas = ["", "", "n", "r", "s", "t", "l", "nd", "st", "ng", "rt", "ck", "m", "ss"]
        words = set()
        while len(words) < 20000:
            n = rng.choice((1, 1, 1, 2, 2, 2, 3, 3, 4))
            words.add("".join(rng.choice(onsets) + rng.choice(vowels) + rng.choice(codas)
                              for _ in range(n)))
        words = sorted(words, key=lambda w: len(w) + 4 * rng.random())
        cum, total = [], 0.0
        for rank in range(1, len(words) + 1):
            total += 1.0 / rank
            cum.append(total)
        self.pool = []
        for _ in range(sentences):
            ws = rng.choices(words, cum_weights=cum, k=rng.randint(3, 22))
            for i in range(1, len(ws) - 1):
                if rng.random() < 0.08:
                    ws[i] += ","
            s = " ".join(ws)
            self.pool.append(s[0].upper() + s[1:] + rng.choice(".....?!"))
        self.buf = bytearray()

    def take(self, n):
        rng = self.rng
        while len(self.buf) < n:
            parts = []
            for s in rng.choices(self.pool, k=20000):
                r = rng.random()
                parts.append(s + ("\n\n" if r < 0.05 else "\n" if r < 0.35 else " "))
            self.buf += "".join(parts).encode()
        out = bytes(self.buf[:n])
        del self.buf[:n]
        return out

folder, mib, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
text = Text(15)
with open(os.path.join(folder, "text.txt"), "wb") as f:
    left = mib << 20
    while left:
        chunk = text.take(min(left, 1 << 20))
        f.write(chunk)
        left -= len(chunk)

rng = random.Random(20000)
sizes = [rng.uniform(4, 16) for _ in range(count)]
sizes = [2 ** s for s in sizes]
scale = (150 << 20) * count / 20000 / sum(sizes)
for i, s in enumerate(sizes):
    d = os.path.join(folder, "tree", "d%02d" % (i % 10), "e%02d" % (i // 10 % 20))
    os.makedirs(d, exist_ok=True)
    n = max(1, int(s * scale))
    if i % 5 == 4:
        body, ext = rng.randbytes(n), "bin"
    else:
        body, ext = text.take(n), "txt"
    with open(os.path.join(d, "f%05d.%s" % (i, ext)), "wb") as f:
        f.write(body)
PY

# Each tool: enc_T NAME OUTPUT and dec_T OUTPUT FOLDER, run from $data; NAME is a file or the
# tree. Those without a container of their own get a tar stream, as a user would give them.
enc_cryvan() { "$cryvan" --text --password-file "$keys/password" -e -c "$2" -i "$1" -q </dev/null >/dev/null; }
dec_cryvan() { "$cryvan" --text --password-file "$keys/password" -d -c "$1" -o "$2" -q </dev/null >/dev/null; }
enc_age() { tar -cf - "$1" | age -r "$age_recipient" -o "$2"; }
dec_age() { age -d -i "$keys/age.key" "$1" | tar -xf - -C "$2"; }
enc_gzip_age() { tar -cf - "$1" | gzip -6 | age -r "$age_recipient" -o "$2"; }
dec_gzip_age() { age -d -i "$keys/age.key" "$1" | gzip -dc | tar -xf - -C "$2"; }
# No passphrase cache, so every decryption derives its key again as the others do.
gpg_() { gpg --batch --quiet --yes --no-symkey-cache --pinentry-mode loopback --passphrase-file "$keys/password" "$@"; }
enc_gpg() { tar -cf - "$1" | gpg_ --symmetric -o "$2"; }
dec_gpg() { gpg_ -d "$1" | tar -xf - -C "$2"; }
enc_gpg_none() { tar -cf - "$1" | gpg_ --compress-algo none --symmetric -o "$2"; }
dec_gpg_none() { dec_gpg "$@"; }
# Encrypt, then MAC the ciphertext in the same pass; decrypting checks the MAC first. dgst takes
# its key only as an argument, so it gets a random key of its own, never the password.
enc_openssl() {
    tar -cf - "$1" | openssl enc -aes-256-cbc -pbkdf2 -pass "file:$keys/password" |
        tee "$2" | openssl dgst -sha256 -binary -hmac "$(cat "$keys/hmac")" >"$2.mac"
}
dec_openssl() {
    openssl dgst -sha256 -binary -hmac "$(cat "$keys/hmac")" "$1" | cmp -s - "$1.mac" || {
        echo "openssl: MAC mismatch" >&2
        return 1
    }
    openssl enc -d -aes-256-cbc -pbkdf2 -pass "file:$keys/password" -in "$1" | tar -xf - -C "$2"
}
# 7z reads the password from standard input when -p has no value (and when extracting).
enc_7z_0() { 7z a -bd -t7z -mhe=on -p -mx=0 "$2" "$1" <"$keys/password" >/dev/null; }
enc_7z_1() { 7z a -bd -t7z -mhe=on -p -mx=1 "$2" "$1" <"$keys/password" >/dev/null; }
dec_7z_0() { 7z x -bd -y -o"$2" "$1" <"$keys/password" >/dev/null; }
dec_7z_1() { dec_7z_0 "$@"; }

tools=(cryvan age gzip_age gpg gpg_none openssl 7z_0 7z_1)
declare -A ext=([cryvan]=aes [age]=age [gzip_age]=age [gpg]=gpg [gpg_none]=gpg [openssl]=enc
    [7z_0]=7z [7z_1]=7z)
declare -A label=([cryvan]="cryvan" [age]="tar | age" [gzip_age]="tar | gzip -6 | age"
    [gpg]="tar | gpg (default compression)" [gpg_none]="tar | gpg --compress-algo none"
    [openssl]="tar | openssl enc + dgst -hmac" [7z_0]="7z -mhe=on -mx=0" [7z_1]="7z -mhe=on -mx=1")

# Runs one step under /usr/bin/time; prints "seconds KiB". Pipelines run inside one bash, whose
# %M is the largest resident set of any process in it (the kernel keeps the maximum over the
# children it waited for), not their sum.
export -f gpg_ enc_cryvan dec_cryvan enc_age dec_age enc_gzip_age dec_gzip_age enc_gpg dec_gpg \
    enc_gpg_none dec_gpg_none enc_openssl dec_openssl enc_7z_0 enc_7z_1 dec_7z_0 dec_7z_1
export cryvan keys age_recipient
timed() {
    local what=$1
    shift
    if ! /usr/bin/time -f '%e %M' -o "$work/time" bash -c \
        'set -euo pipefail; "$@"' _ "$@" 2>"$work/stderr"; then
        echo "compare.sh: $what failed:" >&2
        cat "$work/stderr" >&2
        exit 1
    fi
    tail -n 1 "$work/time"
}

# Of a list of numbers separated by spaces.
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
maximum() { tr ' ' '\n' <<<"$1" | grep . | sort -g | tail -n 1; }

# One pass: every tool encrypts and decrypts once; the result is checked against the input.
declare -A encT decT encM decM size
one_pass() {
    local name=$1 timed_pass=$2 tool container e d
    for tool in "${tools[@]}"; do
        container=$out/$tool.${ext[$tool]}
        rm -f -- "$container" "$container.mac"
        rm -rf -- "$restore"
        mkdir -p -- "$restore"
        e=$(cd "$data" && timed "$tool encrypting $name" "enc_$tool" "$name" "$container")
        d=$(cd "$data" && timed "$tool decrypting $name" "dec_$tool" "$container" "$restore")
        if [ -d "$data/$name" ]; then
            diff -r -q -- "$data/$name" "$restore/$name" >/dev/null
        else
            cmp -s -- "$data/$name" "$restore/$name"
        fi || {
            echo "compare.sh: $tool did not give $name back" >&2
            exit 1
        }
        size[$tool]=$(($(stat -c %s -- "$container") + $([ -f "$container.mac" ] && stat -c %s -- "$container.mac" || echo 0)))
        if [ "$timed_pass" = 1 ]; then
            encT[$tool]+="${e% *} " encM[$tool]+="${e#* } "
            decT[$tool]+="${d% *} " decM[$tool]+="${d#* } "
        fi
    done
}

# Cryvan's own seconds are the divisor of every ratio.
report() {
    local title=$1 bytes=$2 tool ce cd et dt
    ce=$(median "${encT[cryvan]}") cd=$(median "${decT[cryvan]}")
    echo
    echo "### $title (median of $runs runs, seconds; x = tool's time / cryvan's)"
    echo
    echo "| tool | encrypt s | x | decrypt s | x | peak MiB enc / dec | output MiB | output / input |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|"
    for tool in "${tools[@]}"; do
        et=$(median "${encT[$tool]}") dt=$(median "${decT[$tool]}")
        # A bar inside a table cell is escaped, code span or not; ENVIRON keeps the backslash.
        l="${label[$tool]//|/\\|}" awk -v et="$et" -v dt="$dt" -v ce="$ce" -v cd="$cd" \
            -v em="$(maximum "${encM[$tool]}")" -v dm="$(maximum "${decM[$tool]}")" \
            -v s="${size[$tool]}" -v b="$bytes" 'BEGIN {
                printf "| `%s` | %.2f | %.2f | %.2f | %.2f | %.1f / %.1f | %.1f | %.1f %% |\n",
                    ENVIRON["l"], et, (ce > 0 ? et / ce : 0), dt, (cd > 0 ? dt / cd : 0),
                    em / 1024, dm / 1024, s / 1048576, 100 * s / b }'
    done
}

tree_bytes=$(find "$data/tree" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
echo "Cryvan against its peers: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), work folder $work"
echo "Whole processes; peak memory is the largest single process of a pipeline (/usr/bin/time %M)."
for set in random.bin text.txt tree; do
    encT=() decT=() encM=() decM=() size=()
    case $set in
    random.bin) title="$mib MiB random data" bytes=$((mib << 20)) ;;
    text.txt) title="$mib MiB text" bytes=$((mib << 20)) ;;
    tree) title="$files files, $(awk -v b="$tree_bytes" 'BEGIN { printf "%.0f", b / 1048576 }') MiB" bytes=$tree_bytes ;;
    esac
    echo "$title: warm-up pass ..." >&2
    one_pass "$set" 0
    for ((run = 1; run <= runs; run++)); do
        echo "$title: run $run of $runs ..." >&2
        one_pass "$set" 1
    done
    report "$title" "$bytes"
done
echo
echo "Every decryption was compared with its input (cmp, diff -r)."
