#!/usr/bin/python3
"""A read-only FUSE passthrough of a folder, with faults switched on from a file.

    fault_fs.py BACKING MOUNTPOINT SWITCHES

Serves BACKING at MOUNTPOINT as a disc would be: read-only, every file as it
is. SWITCHES is a text file, read again before every operation, one fault a
line (paths relative to BACKING, with forward slashes):

    row NAME                    any change of the file starts the counts anew
    scratch PATH OFFSET         reads of PATH from OFFSET on fail with EIO
    break-listing FOLDER N      the listing of FOLDER fails with EIO after N names
    eject N ERRNO               once N files were read to their end, every
                                operation fails with ERRNO (EIO or ENODEV):
                                the disc is gone
    slow PATH OFFSET SECONDS    the first read of PATH from OFFSET on waits
                                SECONDS, as a drive retrying a damaged sector,
                                then succeeds; SWITCHES.waiting is there while
                                it waits, and a change of SWITCHES ends the wait

Each fault that fires is written to standard error, once per path.
Runs in the foreground until unmounted.
"""
import errno
import os
import sys
import time

import fusepy


class FaultFs(fusepy.Operations):
    use_ns = True

    def __init__(self, backing, switches):
        self.backing = backing
        self.switches_path = switches
        self.switches_text = None
        self.scratch = {}  # path -> offset from which reads fail
        self.broken_listings = {}  # folder -> names listed before the error
        self.eject_after = None  # (files, errno)
        self.slow = {}  # path -> (offset from which the first read waits, seconds)
        self.files_read = set()  # openings read to their end
        self.openings = {}  # handle -> which opening it is (handles are reused)
        self.ejected = False
        self.listings = {}  # handle -> calls so far
        self.next_handle = 1
        self.reported = set()

    def read_switches(self):
        try:
            with open(self.switches_path, encoding="utf-8") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def reload(self):
        text = self.read_switches()
        if text == self.switches_text:
            return
        self.switches_text = text
        self.scratch, self.broken_listings, self.eject_after, self.slow = {}, {}, None, {}
        self.files_read = set()
        self.ejected = False
        self.reported = set()
        for line in text.splitlines():
            words = line.split()
            if not words or words[0] == "row":
                continue
            if words[0] == "scratch":
                self.scratch["/" + words[1]] = int(words[2])
            elif words[0] == "break-listing":
                self.broken_listings["/" + words[1].strip("/")] = int(words[2])
            elif words[0] == "eject":
                self.eject_after = (int(words[1]), getattr(errno, words[2]))
            elif words[0] == "slow":
                self.slow["/" + words[1]] = (int(words[2]), float(words[3]))
            else:
                raise ValueError("unknown switch: " + line)

    def fail(self, code, what, path):
        if (what, path) not in self.reported:
            self.reported.add((what, path))
            print(f"fault_fs: {what} {path}: {errno.errorcode[code]}", file=sys.stderr, flush=True)
        raise fusepy.FuseOSError(code)

    def check(self, what, path):
        """Every operation starts here: the disc may be gone."""
        self.reload()
        if self.ejected:
            self.fail(self.eject_after[1], what, path)

    def real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def getattr(self, path, fh=None):
        self.check("getattr", path)
        st = os.lstat(self.real(path))
        return {"st_mode": st.st_mode, "st_nlink": st.st_nlink, "st_uid": st.st_uid,
                "st_gid": st.st_gid, "st_size": st.st_size, "st_atime": st.st_atime_ns,
                "st_mtime": st.st_mtime_ns, "st_ctime": st.st_ctime_ns}

    def access(self, path, mode):
        self.check("access", path)
        if mode & os.W_OK:
            raise fusepy.FuseOSError(errno.EROFS)
        if not os.access(self.real(path), mode):
            raise fusepy.FuseOSError(errno.EACCES)

    def statfs(self, path):
        self.check("statfs", path)
        st = os.statvfs(self.real(path))
        return {key: getattr(st, key) for key in ("f_bsize", "f_frsize", "f_blocks", "f_bfree",
                                                  "f_bavail", "f_files", "f_ffree", "f_namemax")}

    def opendir(self, path):
        self.check("opendir", path)
        if not os.path.isdir(self.real(path)):
            raise fusepy.FuseOSError(errno.ENOTDIR)
        handle = self.next_handle
        self.next_handle += 1
        self.listings[handle] = 0
        return handle

    def readdir(self, path, fh):
        self.check("readdir", path)
        calls = self.listings.get(fh, 0)
        self.listings[fh] = calls + 1
        names = [".", ".."] + sorted(os.listdir(self.real(path)))
        broken_after = self.broken_listings.get(path)
        if broken_after is None:
            return names
        # Numbered entries make FUSE ask again for the rest: the first call
        # gives the names before the break, the next one the error.
        if calls > 0:
            self.fail(errno.EIO, "readdir", path)
        return [(name, None, i + 1) for i, name in enumerate(names[:2 + broken_after])]

    def releasedir(self, path, fh):
        self.listings.pop(fh, None)

    def open(self, path, flags):
        self.check("open", path)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise fusepy.FuseOSError(errno.EROFS)
        handle = os.open(self.real(path), os.O_RDONLY)
        self.openings[handle] = self.next_handle
        self.next_handle += 1
        return handle

    def wait(self, path, seconds):
        """The drive's long read: nothing else is served meanwhile (one
        thread), as a drive reads one thing at a time."""
        print(f"fault_fs: slow read {path}: {seconds} s", file=sys.stderr, flush=True)
        marker = self.switches_path + ".waiting"
        with open(marker, "w", encoding="utf-8") as f:
            f.write(path + "\n")
        text, end = self.switches_text, time.monotonic() + seconds
        while time.monotonic() < end and self.read_switches() == text:
            time.sleep(0.05)
        os.remove(marker)

    def read(self, path, size, offset, fh):
        self.check("read", path)
        slow_from, seconds = self.slow.pop(path, (None, 0))
        if slow_from is not None:
            if offset >= slow_from:
                self.wait(path, seconds)
            elif offset + size > slow_from:
                size = slow_from - offset  # the part before, then the wait on the next read
                self.slow[path] = (slow_from, seconds)
            else:
                self.slow[path] = (slow_from, seconds)
        scratched_from = self.scratch.get(path)
        if scratched_from is not None and offset + size > scratched_from:
            if offset >= scratched_from:
                self.fail(errno.EIO, "read", path)
            size = scratched_from - offset  # the good part, then the error on the next read
        data = os.pread(fh, size, offset)
        if not data and size and self.eject_after:
            self.files_read.add(self.openings[fh])  # a copy may ask more than once at the end
            self.ejected = len(self.files_read) >= self.eject_after[0]
        return data

    def release(self, path, fh):
        os.close(fh)

    def readlink(self, path):
        self.check("readlink", path)
        return os.readlink(self.real(path))


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    backing, mountpoint, switches = sys.argv[1:]
    # Every read, listing and lookup reaches this process: nothing is served
    # from the kernel's caches, so a fault switched on takes effect at once.
    fusepy.FUSE(FaultFs(os.path.abspath(backing), os.path.abspath(switches)), mountpoint,
                foreground=True, nothreads=True, ro=True, direct_io=True, entry_timeout=0,
                attr_timeout=0, negative_timeout=0, fsname="faultcd")


if __name__ == "__main__":
    main()
