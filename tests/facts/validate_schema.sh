#!/bin/bash
# SPDX-License-Identifier: MIT
# Keeps tarvex-facts and its JSON Schema in step: the documents it writes on
# this machine and on fake hosts (the demo host and the scenarios named
# below) must validate against doc/tarvex-facts.schema.json, and a document
# with a wrong type must not, so the schema is known to constrain.
#
#   validate_schema.sh FACTS_BIN DRIVER_LIB SOURCE_DIR
#
# Exit status 77 (skipped) without python3-jsonschema; the fake hosts are
# left out, with a note, without root or namespaces.
set -u
facts=$1 driver=$2 source_dir=$3
/usr/bin/python3 -c 'import jsonschema' 2>/dev/null || { echo "SKIP: needs python3-jsonschema (Debian's /usr/bin/python3)"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-schema.XXXXXX") || exit 70
trap 'rm -rf -- "$work"' EXIT
preload=$driver
asan_runtime=$(ldd "$facts" | awk '/libasan/ { print $3 }')
[[ -z $asan_runtime ]] || preload="$asan_runtime $driver"

"$facts" >"$work/this_machine.json" 2>/dev/null || { echo "FAIL: tarvex-facts failed on this machine"; exit 1; }
for host in "$source_dir/tools/demo.host" "$source_dir"/tests/system/scenarios/{odd_names,bus_addresses,catalogue,predictable_names,unobtained_values}.host; do
    name=$(basename "$host" .host)
    bash "$source_dir/tools/fakehost.sh" --preload "$preload" "$host" -- "$facts" >"$work/$name.json" 2>"$work/err"
    rc=$?
    if ((rc == 77)); then
        echo "note: fake hosts skipped: $(cat "$work/err")"
        rm -f "$work/$name.json"
        break
    fi
    ((rc == 0)) || { echo "FAIL: tarvex-facts failed on $name"; cat "$work/err"; exit 1; }
done

/usr/bin/python3 - "$source_dir/doc/tarvex-facts.schema.json" "$work"/*.json <<'EOF'
import copy, json, sys
import jsonschema

with open(sys.argv[1]) as f:
    schema = json.load(f)
jsonschema.Draft7Validator.check_schema(schema)
validator = jsonschema.Draft7Validator(schema)
failed = False
for path in sys.argv[2:]:
    with open(path, encoding="utf-8") as f:
        document = json.load(f)
    errors = list(validator.iter_errors(document))
    for error in errors:
        print(f"FAIL: {path}: {list(error.absolute_path)}: {error.message}")
    failed = failed or bool(errors)
    for key, value in (("slot", "3"), ("firmware_slot", {"name": "1", "port": 0, "source": "smbios"}),
                       ("onboard", {"index": None, "label": None}), ("neighbors", [{"chassis_id": 1}])):
        if not document["interfaces"]:
            break
        wrong = copy.deepcopy(document)
        wrong["interfaces"][0][key] = value
        if validator.is_valid(wrong):
            print(f"FAIL: the schema accepts {key} {value} ({path})")
            failed = True
    print(f"{'checked' if not errors else 'invalid'}: {path.rsplit('/', 1)[-1]}, "
          f"{len(document['interfaces'])} interfaces")
sys.exit(1 if failed else 0)
EOF
