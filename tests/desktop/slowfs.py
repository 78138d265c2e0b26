#!/usr/bin/python3
"""A user-space file system that answers as slowly as a share whose server is far away, or gone.

Usage: slowfs.py BACKING-FOLDER MOUNT-POINT NAME DELAYS
Shows BACKING-FOLDER read-only at MOUNT-POINT (file-system type fuse.sshfs, source NAME, so that
the program takes it for a network share). DELAYS is a list such as "getattr=30,statfs=30" or
"readdir:/big=8": seconds each operation waits, for every path or for one path. Runs in the
foreground until unmounted (fusermount -u).
"""

import errno
import os
import sys
import time

import fusepy


class SlowShare(fusepy.Operations):
    def __init__(self, backing, delays):
        self.backing = backing
        self.delays = delays

    def wait(self, operation, path):
        seconds = self.delays.get("%s:%s" % (operation, path), self.delays.get(operation, 0))
        if seconds:
            time.sleep(seconds)

    def real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def getattr(self, path, fh=None):
        self.wait("getattr", path)
        try:
            info = os.lstat(self.real(path))
        except OSError as error:
            raise fusepy.FuseOSError(error.errno)
        return {key: getattr(info, key) for key in ("st_mode", "st_nlink", "st_size", "st_uid", "st_gid",
                                                    "st_atime", "st_mtime", "st_ctime")}

    def statfs(self, path):
        self.wait("statfs", path)
        info = os.statvfs(self.real(path))
        return {key: getattr(info, key) for key in ("f_bsize", "f_frsize", "f_blocks", "f_bfree", "f_bavail",
                                                    "f_files", "f_ffree", "f_favail", "f_namemax")}

    def access(self, path, mode):
        self.wait("access", path)
        if not os.access(self.real(path), mode):
            raise fusepy.FuseOSError(errno.EACCES)

    def opendir(self, path):
        self.wait("opendir", path)
        return 0

    def readdir(self, path, fh):
        self.wait("readdir", path)
        return [".", ".."] + os.listdir(self.real(path))

    def open(self, path, flags):
        self.wait("open", path)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise fusepy.FuseOSError(errno.EROFS)
        return os.open(self.real(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        self.wait("read", path)
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)
        return 0


def main():
    backing, mountpoint, name, delays = sys.argv[1:5]
    table = {}
    for item in filter(None, delays.split(",")):
        key, seconds = item.split("=")
        table[key] = float(seconds)
    # Attributes and entries are not kept by the kernel: every question reaches this process.
    fusepy.FUSE(SlowShare(backing, table), mountpoint, foreground=True, nothreads=False, ro=True,
                fsname=name, subtype="sshfs", attr_timeout=0, entry_timeout=0)


if __name__ == "__main__":
    main()
