#!/usr/bin/python3
# A file system whose files can be listed and measured but never read: every
# read waits forever, as on a dead network share. Mounts at argv[1].
import errno
import stat
import sys
import threading
import time

import fusepy

SIZES = {"/stuck": 4096, "/stuck.png": 4096, "/fine.txt": 5}


class Stalled(fusepy.Operations):
    def getattr(self, path, fh=None):
        if path != "/" and path not in SIZES:
            raise fusepy.FuseOSError(errno.ENOENT)
        mode = stat.S_IFDIR | 0o755 if path == "/" else stat.S_IFREG | 0o644
        now = time.time()
        return dict(st_mode=mode, st_nlink=1, st_size=SIZES.get(path, 0), st_ctime=now, st_mtime=now, st_atime=now)

    def readdir(self, path, fh):
        return [".", ".."] + [name[1:] for name in SIZES]

    def read(self, path, size, offset, fh):
        if path == "/fine.txt":
            return b"fine\n"[offset:offset + size]
        threading.Event().wait()


fusepy.FUSE(Stalled(), sys.argv[1], foreground=True, nothreads=False)
