#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex-facts as an Ansible local fact, with the real client: on the
# simulated blade host (tools/demo.host), tarvex.fact in a fact directory
# runs tarvex-facts, and
#   ansible localhost -c local -m setup -a 'fact_path=DIR filter=ansible_local'
# must deliver each interface's slot, port, bay, bay port and model as the
# demo host's expected document has them; and the fleet playbook
# (contrib/ansible/tarvex-facts.yml), run with ansible-playbook against
# localhost with a scratch fact path, must link that fact and write every
# port with the same values.  Ansible runs locally, without
# network, with its home and temporary directories in a private directory
# (and a UTF-8 locale, which it insists on).
#
#   ansible_facts.sh FACTS_BIN DRIVER_LIB SOURCE_DIR
#
# Exit status 77 (skipped) without ansible (Debian package ansible-core),
# root or namespaces.
set -u
facts=$1 driver=$2 source_dir=$3
command -v ansible >/dev/null || { echo "SKIP: needs ansible (ansible-core)"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-ansible.XXXXXX") || exit 70
trap 'rm -rf -- "$work"' EXIT
preload=$driver
asan_runtime=$(ldd "$facts" | awk '/libasan/ { print $3 }')
[[ -z $asan_runtime ]] || preload="$asan_runtime $driver"

# The driver stand-in leaves the environment of the process it is loaded
# into, so the fact itself puts it back for tarvex-facts.
mkdir "$work/facts.d" "$work/home"
printf '#!/bin/sh\nLD_PRELOAD=%q exec %q\n' "$preload" "$facts" >"$work/facts.d/tarvex.fact"
chmod 0755 "$work/facts.d/tarvex.fact"

cd "$work" || exit 70
# Runs an Ansible command on the demo host.
on_demo_host() {
    HOME=$work/home ANSIBLE_LOCAL_TEMP=$work/home/tmp ANSIBLE_REMOTE_TEMP=$work/home/tmp \
        ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 ANSIBLE_STDOUT_CALLBACK=minimal ANSIBLE_NOCOLOR=1 \
        ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_INVENTORY_UNPARSED_WARNING=0 \
        bash "$source_dir/tools/fakehost.sh" "$source_dir/tools/demo.host" -- env LC_ALL=C.UTF-8 "$@"
}
on_demo_host ansible localhost -c local -m setup -a "fact_path=$work/facts.d filter=ansible_local" \
    >"$work/out" 2>"$work/err"
rc=$?
if ((rc == 77)); then
    cat "$work/err"
    exit 77
fi
((rc == 0)) || { echo "FAIL: ansible exit status $rc"; cat "$work/err" "$work/out"; exit 1; }

# The minimal callback prints "localhost | SUCCESS => {...}".
/usr/bin/python3 - "$work/out" "$source_dir/tests/system/scenarios/demo.facts.stdout" <<'EOF'
import json, sys

with open(sys.argv[1]) as f:
    answer = f.read()
with open(sys.argv[2]) as f:
    expected = json.load(f)
if not answer.startswith("localhost | SUCCESS => {"):
    sys.exit(f"FAIL: Ansible answered: {answer[:2000]}")
result = json.loads(answer[answer.index("{"):])
tarvex = result.get("ansible_facts", {}).get("ansible_local", {}).get("tarvex")
if not isinstance(tarvex, dict):
    sys.exit(f"FAIL: no tarvex fact in Ansible's answer: {json.dumps(result)[:2000]}")
keys = ("name", "slot", "port", "bay", "bay_port", "model")
got = [[i[k] for k in keys] for i in tarvex["interfaces"]]
want = [[i[k] for k in keys] for i in expected["interfaces"]]
for row in got:
    print("ansible_local.tarvex:", row)
if got != want or not want:
    sys.exit(f"FAIL: expected {want}")
EOF
status=$?
((status == 0)) || exit 1

# The playbook links the wrapper as tarvex-facts would be linked.
on_demo_host ansible-playbook -i localhost, -c local "$source_dir/contrib/ansible/tarvex-facts.yml" \
    -e tarvex_become=false -e "tarvex_facts_path=$work/facts.d/tarvex.fact" \
    -e "tarvex_fact_path=$work/playbook.d" -e "tarvex_ports_file=$work/ports.json" >"$work/out" 2>"$work/err" ||
    { echo "FAIL: ansible-playbook exit status $?"; cat "$work/err" "$work/out"; exit 1; }
[[ $(readlink "$work/playbook.d/tarvex.fact") == "$work/facts.d/tarvex.fact" ]] ||
    { echo "FAIL: the playbook did not link the fact"; exit 1; }
jq -c '.[]' "$work/ports.json" | sed 's/^/ports.json: /'
want=$(jq -cS '[.interfaces[] | {host: "localhost", interface: .name, slot, port,
    firmware_slot: .firmware_slot.name, firmware_port: .firmware_slot.port, bay, bay_port, model, permanent_mac}]' \
    "$source_dir/tests/system/scenarios/demo.facts.stdout")
[[ $(jq -cS . "$work/ports.json") == "$want" ]] || { echo "FAIL: expected $want"; exit 1; }
