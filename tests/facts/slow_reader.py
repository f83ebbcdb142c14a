# SPDX-License-Identifier: MIT
# Runs tarvex-facts (argv[1]) with standard output a pipe in non-blocking
# mode whose reader waits a second before reading: the pipe fills, writes
# refuse with EAGAIN, and the document must still arrive whole.
import fcntl, json, os, subprocess, sys, time

reader, writer = os.pipe()
fcntl.fcntl(writer, fcntl.F_SETFL, fcntl.fcntl(writer, fcntl.F_GETFL) | os.O_NONBLOCK)
facts = subprocess.Popen(sys.argv[1:], stdout=writer, stderr=subprocess.DEVNULL)
os.close(writer)
time.sleep(1)
with os.fdopen(reader, "rb") as stream:
    text = stream.read()
status = facts.wait()
print(f"status {status}, {len(text)} bytes, {len(json.loads(text)['interfaces'])} interfaces")
