#!/bin/sh
# strip, as Debian strips its packages' binaries: without the compilers' .comment section.
exec strip --remove-section=.comment "$@"
