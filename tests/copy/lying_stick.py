#!/usr/bin/python3
"""A stick with fake capacity, served through FUSE as exfat-fuse serves one.

    lying_stick.py DEVICE MOUNTPOINT KEEP_BYTES [nocache]

DEVICE is a folder that stands for the stick's flash: every name, folder
and size reaches it, but of the file data only the first KEEP_BYTES bytes
written; everything after that lands as zeros, as on a stick that claims
more than it has. What this program was told, it keeps in a cache of its
own and answers reads from it, as a FUSE daemon does that reads its block
device through the page cache. Dropping a file's pages in the kernel
reaches this program, not its cache: only a new mount (a new run of this
program) reads the device.

With "nocache" every read goes to the device, and the kernel keeps no
pages of the files either (direct_io): a file in it is then a lying
device for a loop device, under a file system the kernel runs itself.
"""
import errno
import os
import sys

import fuse

fuse.fuse_python_api = (0, 2)


class LyingStick(fuse.Fuse):
    def __init__(self, device, keep, cached, *args, **kw):
        super().__init__(*args, **kw)
        self.device = device
        self.cached = cached
        self.left = keep  # flash bytes still really there
        self.cache = {}  # path -> bytearray, what this run was told

    def real(self, path):
        return self.device + path

    def getattr(self, path):
        return os.lstat(self.real(path))

    def readdir(self, path, offset):
        for name in [".", ".."] + os.listdir(self.real(path)):
            yield fuse.Direntry(name)

    def statfs(self):
        return os.statvfs(self.device)

    def readlink(self, path):
        return os.readlink(self.real(path))

    def mknod(self, path, mode, dev):
        os.mknod(self.real(path), mode, dev)
        self.cache[path] = bytearray()

    def mkdir(self, path, mode):
        os.mkdir(self.real(path), mode)

    def symlink(self, target, path):
        os.symlink(target, self.real(path))

    def unlink(self, path):
        os.unlink(self.real(path))
        self.cache.pop(path, None)

    def rmdir(self, path):
        os.rmdir(self.real(path))

    def rename(self, old, new):
        os.rename(self.real(old), self.real(new))
        for key in [k for k in self.cache if k == old or k.startswith(old + "/")]:
            self.cache[new + key[len(old):]] = self.cache.pop(key)

    def chmod(self, path, mode):
        os.chmod(self.real(path), mode)

    def chown(self, path, uid, gid):
        return 0

    def utimens(self, path, accessed, modified):
        os.utime(self.real(path), ns=(accessed.tv_sec * 10**9 + accessed.tv_nsec,
                                      modified.tv_sec * 10**9 + modified.tv_nsec))

    def truncate(self, path, size):
        os.truncate(self.real(path), size)
        if path in self.cache:
            del self.cache[path][size:]
            self.cache[path].extend(bytes(size - len(self.cache[path])))

    def open(self, path, flags):
        return 0

    def read(self, path, size, offset):
        if self.cached and path in self.cache:
            return bytes(self.cache[path][offset:offset + size])
        with open(self.real(path), "rb") as f:
            f.seek(offset)
            return f.read(size)

    def write(self, path, buf, offset):
        if self.cached:
            data = self.cache.setdefault(path, bytearray(os.path.getsize(self.real(path))))
            if len(data) < offset:
                data.extend(bytes(offset - len(data)))
            data[offset:offset + len(buf)] = buf
        kept = max(0, min(len(buf), self.left))
        self.left -= kept
        fd = os.open(self.real(path), os.O_WRONLY)
        try:
            os.pwrite(fd, bytes(buf[:kept]) + bytes(len(buf) - kept), offset)
        finally:
            os.close(fd)
        return len(buf)

    def flush(self, path):
        return 0

    def release(self, path, flags):
        return 0

    def fsync(self, path, datasync):
        return 0


def main():
    device, mountpoint, keep = sys.argv[1], sys.argv[2], int(sys.argv[3])
    cached = sys.argv[4:] != ["nocache"]
    server = LyingStick(os.path.abspath(device), keep, cached, usage=__doc__)
    server.multithreaded = False
    server.fuse_args.mountpoint = mountpoint
    server.fuse_args.setmod("foreground")
    server.fuse_args.add("big_writes")
    if not cached:
        server.fuse_args.add("direct_io")
    server.main()


if __name__ == "__main__":
    try:
        main()
    except OSError as e:
        sys.exit(e.errno or errno.EIO)
