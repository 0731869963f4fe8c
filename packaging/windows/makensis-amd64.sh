#!/bin/sh
# makensis making a 64-bit installer (Debian's nsis has the amd64 stubs).
exec makensis -X"Target amd64-unicode" "$@"
