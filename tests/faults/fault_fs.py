#!/usr/bin/python3
"""A read-only FUSE passthrough of a folder, with faults switched on from a file.

    fault_fs.py [--pace LAYOUT STATS] BACKING MOUNTPOINT SWITCHES
    fault_fs.py --record LOG BACKING MOUNTPOINT

Serves BACKING at MOUNTPOINT as a disc would be: read-only, every file as it
is. SWITCHES is a text file, read again before every operation, one fault a
line (paths relative to BACKING, with forward slashes):

    row NAME                    any change of the file starts the counts anew
    scratch PATH OFFSET         reads of PATH from OFFSET on fail with EIO
    break-listing FOLDER N      the listing of FOLDER fails with EIO after N names
    unlistable FOLDER N         opening FOLDER's listing fails with EIO once
                                it was opened N times
    eject PATH ERRNO            from the opening of PATH on, every operation
                                fails with ERRNO (EIO or ENODEV): the disc is
                                gone
    slow PATH OFFSET SECONDS    the first read of PATH from OFFSET on waits
                                SECONDS, as a drive retrying a damaged sector,
                                then succeeds; SWITCHES.waiting is there while
                                it waits, and a change of SWITCHES ends the wait

Each fault that fires is written to standard error, once per path.
Runs in the foreground until unmounted.

With --pace, reads take the time a CD drive takes (see PacedDrive): BACKING
holds the disc's files, LAYOUT says where each lies on the disc (make-medium.py
--layout), and STATS is rewritten with what the drive did at every seek and
whenever a file is closed.
Names and attributes are then cached by the kernel, as a system caches a
disc's folders, so that only reads reach the drive; faults switched on reach
reads at once, lookups once the caches expire.

With --record, BACKING is served read-write, as a local disk, and no fault is
switched on; LOG gets a line, appended as it is served, for each operation a
check of what reached the disk and in which order looks at (see RecordFs).
"""
import errno
import os
import sys
import time

import fusepy


def attributes(st):
    """What fusepy's getattr answers, from an os.stat_result."""
    return {"st_mode": st.st_mode, "st_nlink": st.st_nlink, "st_uid": st.st_uid,
            "st_gid": st.st_gid, "st_size": st.st_size, "st_atime": st.st_atime_ns,
            "st_mtime": st.st_mtime_ns, "st_ctime": st.st_ctime_ns}


def volume(st):
    """What fusepy's statfs answers, from an os.statvfs_result."""
    return {key: getattr(st, key) for key in ("f_bsize", "f_frsize", "f_blocks", "f_bfree",
                                              "f_bavail", "f_files", "f_ffree", "f_namemax")}


class FaultFs(fusepy.Operations):
    use_ns = True

    def __init__(self, backing, switches):
        self.backing = backing
        self.switches_path = switches
        self.switches_text = None
        self.scratch = {}  # path -> offset from which reads fail
        self.broken_listings = {}  # folder -> names listed before the error
        self.unlistable = {}  # folder -> openings of its listing that succeed
        self.eject_at = None  # (path, errno)
        self.slow = {}  # path -> (offset from which the first read waits, seconds)
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
        self.scratch, self.broken_listings, self.eject_at, self.slow = {}, {}, None, {}
        self.unlistable = {}
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
            elif words[0] == "unlistable":
                self.unlistable["/" + words[1].strip("/")] = int(words[2])
            elif words[0] == "eject":
                self.eject_at = ("/" + words[1], getattr(errno, words[2]))
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
            self.fail(self.eject_at[1], what, path)

    def real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def getattr(self, path, fh=None):
        self.check("getattr", path)
        return attributes(os.lstat(self.real(path)))

    def access(self, path, mode):
        self.check("access", path)
        if mode & os.W_OK:
            raise fusepy.FuseOSError(errno.EROFS)
        if not os.access(self.real(path), mode):
            raise fusepy.FuseOSError(errno.EACCES)

    def statfs(self, path):
        self.check("statfs", path)
        return volume(os.statvfs(self.real(path)))

    def opendir(self, path):
        self.check("opendir", path)
        if path in self.unlistable:
            if self.unlistable[path] == 0:
                self.fail(errno.EIO, "opendir", path)
            self.unlistable[path] -= 1
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
        self.reload()
        if self.eject_at is not None and path == self.eject_at[0]:
            self.ejected = True
        self.check("open", path)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise fusepy.FuseOSError(errno.EROFS)
        return os.open(self.real(path), os.O_RDONLY)

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
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)

    def readlink(self, path):
        self.check("readlink", path)
        return os.readlink(self.real(path))


class PacedDrive:
    """The time a CD drive takes for reads of a disc: a read costs its bytes at
    RATE, plus SEEK when it does not go on where the last one ended (in the
    last sector read or the one after it); one read at a time, and nothing is
    read ahead. `layout` maps each file's path to its first sector."""
    RATE = 7.8e6  # bytes a second at a 52x drive's outer edge
    SEEK = 0.085
    SECTOR = 2048

    def __init__(self, layout):
        self.layout = layout
        self.end = None  # the byte of the disc after the last one read
        self.free_at = None  # when the drive has finished the last read
        self.own = 0.0  # this process's own time since then (see PacedFs)
        self.reads = self.bytes = self.seeks = 0
        self.busy = 0.0

    def charge(self, path, offset, length, arrived):
        """Books a read of `length` bytes of `path` from `offset` that arrived
        at `arrived` (time.monotonic()); returns when the drive has done it."""
        if length == 0:
            return arrived
        start = self.layout.get(path)
        position = None if start is None else start * self.SECTOR + offset
        cost = length / self.RATE
        if position is None or self.end is None or not (
                self.end // self.SECTOR <= position // self.SECTOR <= -(-self.end // self.SECTOR)):
            cost += self.SEEK
            self.seeks += 1
        self.end = None if position is None else position + length
        # When it would have come but for this process's own time since the
        # drive's last read, and not before that read was done.
        begin = arrived if self.free_at is None else max(arrived - self.own, self.free_at)
        self.own = 0.0
        self.free_at = begin + cost
        self.reads += 1
        self.bytes += length
        self.busy += cost
        return self.free_at

    def report(self):
        return (f"reads {self.reads} bytes {self.bytes} seeks {self.seeks} busy {self.busy:.6f} "
                f"rate {self.RATE:.0f} seek {self.SEEK}\n")


def read_layout(path):
    """make-medium.py's --layout file: "SECTOR SIZE PATH" a line."""
    layout = {}
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            sector, _, name = line.rstrip("\n").split(" ", 2)
            layout["/" + name] = int(sector)
    return layout


class PacedFs(FaultFs):
    """FaultFs whose reads take a CD drive's time. fusepy runs one operation at
    a time, as the drive reads one thing at a time. Python's own time for each
    request is no reader's, and a CD file system hardly has it: the drive is
    booked as if each request had come that much sooner. The kernel's round
    trip to this process and back cannot be seen from here; it stays in the
    reader's time (a plain reader of the disc in its order takes a few per
    cent over the sweep)."""

    def __init__(self, backing, switches, layout, stats):
        super().__init__(backing, switches)
        self.drive = PacedDrive(read_layout(layout))
        self.stats = stats
        self.entered = self.woke = None

    def __call__(self, op, *args):
        self.entered = self.woke = time.monotonic()
        try:
            return super().__call__(op, *args)
        finally:
            # A read's time before its booking is left out by booking it as
            # arrived on entry; after the drive has done it, it is this
            # process's own.
            self.drive.own += time.monotonic() - self.woke

    # ENOSYS tells the kernel that this file system has no such request, and
    # it asks no more: a CD file system answers these without the drive, and
    # here each would cost a round trip. Wine asks for extended attributes
    # of every file it opens; the answer stays "not supported".
    def getxattr(self, path, name, position=0):
        raise fusepy.FuseOSError(errno.ENOSYS)

    def listxattr(self, path):
        raise fusepy.FuseOSError(errno.ENOSYS)

    def flush(self, path, fh):
        raise fusepy.FuseOSError(errno.ENOSYS)

    def read(self, path, size, offset, fh):
        data = super().read(path, size, offset, fh)
        seeks = self.drive.seeks
        done = self.drive.charge(path, offset, len(data), self.entered)
        if self.drive.seeks != seeks:  # the count is up to date whenever a reader looks
            self.write_stats()
        delay = done - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        # Waking late, or having taken longer than the drive, is this
        # process's time too.
        self.woke = max(done, self.entered)
        return data

    def release(self, path, fh):
        super().release(path, fh)
        self.write_stats()

    def write_stats(self):
        with open(self.stats + ".new", "w") as f:
            f.write(self.drive.report())
        os.replace(self.stats + ".new", self.stats)


class RecordFs(fusepy.Operations):
    """A read-write passthrough of `backing` that appends to `log`, in the
    order served (one at a time), "OPERATION<TAB>PATH[<TAB>PATH]" for each
    create, fsync (fdatasync too: Wine may ask for either), release, rename
    OLD NEW, link EXISTING NEW, unlink, mkdir and rmdir that succeeded. Paths
    are relative to the mount, with forward slashes; "-" for a file no longer
    named. The log is opened for each line: a reader may delete it at any time."""
    use_ns = True
    RECORDED = {"create": 1, "fsync": 1, "release": 1, "rename": 2, "link": 2, "unlink": 1, "mkdir": 1,
                "rmdir": 1}

    def __init__(self, backing, log):
        self.backing, self.log = backing, log

    def __call__(self, op, *args):
        result = super().__call__(op, *args)
        if op in self.RECORDED:
            paths = args[:self.RECORDED[op]][::-1 if op == "link" else 1]  # fusepy's link: new name first
            with open(self.log, "a", encoding="utf-8", errors="surrogateescape") as f:
                f.write("\t".join([op] + [p.lstrip("/") if p is not None else "-" for p in paths]) + "\n")
        return result

    def real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def getattr(self, path, fh=None):
        return attributes(os.fstat(fh) if fh is not None else os.lstat(self.real(path)))

    def statfs(self, path):
        return volume(os.statvfs(self.real(path)))

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self.real(path))

    def chmod(self, path, mode):
        os.chmod(self.real(path), mode)

    def utimens(self, path, times=None):
        os.utime(self.real(path), ns=times)

    def truncate(self, path, length, fh=None):
        os.truncate(fh if fh is not None else self.real(path), length)

    def open(self, path, flags):
        return os.open(self.real(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self.real(path), os.O_RDWR | os.O_CREAT, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def fsync(self, path, datasync, fh):
        os.fsync(fh)

    def release(self, path, fh):
        os.close(fh)

    def rename(self, old, new):
        os.rename(self.real(old), self.real(new))

    def link(self, target, source):
        os.link(self.real(source), self.real(target))

    def unlink(self, path):
        os.unlink(self.real(path))

    def mkdir(self, path, mode):
        os.mkdir(self.real(path), mode)

    def rmdir(self, path):
        os.rmdir(self.real(path))


def serve_paced(args):
    if len(args) != 5:
        sys.exit(__doc__)
    layout, stats, backing, mountpoint, switches = (os.path.abspath(arg) for arg in args)
    # The kernel checks permissions itself, from the cached attributes.
    fusepy.FUSE(PacedFs(backing, switches, layout, stats), mountpoint, foreground=True, nothreads=True, ro=True,
                direct_io=True, default_permissions=True, entry_timeout=3600, attr_timeout=3600,
                negative_timeout=3600, fsname="pacedcd")


def main():
    if sys.argv[1:2] == ["--pace"]:
        return serve_paced(sys.argv[2:])
    if sys.argv[1:2] == ["--record"]:
        if len(sys.argv) != 5:
            sys.exit(__doc__)
        log, backing, mountpoint = (os.path.abspath(arg) for arg in sys.argv[2:])
        # hard_remove: a name removed while its file is open goes at once, as
        # on a local disk, rather than to a hidden name of FUSE's own, which
        # would show as a rename (the open file's attributes can then not be
        # asked for; HD.EXE closes what it deletes first).
        return fusepy.FUSE(RecordFs(backing, log), mountpoint, foreground=True, nothreads=True,
                           hard_remove=True, fsname="recorddisk")
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
