#!/usr/bin/python3
# A file system whose files can be listed and measured but never read: every
# read waits forever, as on a dead network share. Mounts at argv[1] and says
# "ready" once the mount is up.
import errno
import os
import stat
import sys
import threading
import time

import fusepy

SIZES = {"/stuck": 4096, "/stuck.png": 4096, "/fine.txt": 5}


class Stalled(fusepy.Operations):
    def getattr(self, path, fh=None):
        now = time.time()
        if path == "/":
            mode, size = stat.S_IFDIR | 0o755, 0
        elif path in SIZES:
            mode, size = stat.S_IFREG | 0o644, SIZES[path]
        else:
            raise fusepy.FuseOSError(errno.ENOENT)
        return dict(st_mode=mode, st_nlink=1, st_size=size, st_ctime=now, st_mtime=now,
                    st_atime=now, st_uid=os.getuid(), st_gid=os.getgid())

    def readdir(self, path, fh):
        return [".", ".."] + [name[1:] for name in SIZES]

    def open(self, path, flags):
        return 0

    def read(self, path, size, offset, fh):
        if path == "/fine.txt":
            return b"fine\n"[offset:offset + size]
        threading.Event().wait()


def announce():
    while not os.path.ismount(sys.argv[1]):
        time.sleep(0.02)
    print("ready", flush=True)


threading.Thread(target=announce, daemon=True).start()
fusepy.FUSE(Stalled(), sys.argv[1], foreground=True, nothreads=False)
