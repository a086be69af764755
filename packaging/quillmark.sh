#!/bin/bash
# Installed as /usr/bin/quillmark. Both copies of the program live in
# /opt/quillmark, so they share the dump directory beside them; only the
# capture copy holds CAP_NET_RAW, and only root and the members of the
# quillmark group may execute it. Everyone else gets the plain copy, which
# shows every list and window but cannot open a raw socket.
set -euo pipefail
home=/opt/quillmark
if [ -x "$home/quillmark-capture" ]; then
    exec "$home/quillmark-capture" "$@"
fi
exec "$home/quillmark" "$@"
