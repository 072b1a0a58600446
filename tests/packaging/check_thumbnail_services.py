#!/usr/bin/python3
"""Thumbnails of Windows files made by the desktop's own thumbnail services,
which know of vexillo-thumbnailer only through an installed copy of
vexillo.thumbnailer:

  tumbler  Xfce's tumblerd, on a D-Bus session of its own, asked over
           org.freedesktop.thumbnails.Thumbnailer1.Queue; the pictures are
           read from the cache folder it fills.
  gnome    GNOME's thumbnail factory (GnomeDesktop.DesktopThumbnailFactory),
           which runs the thumbnailer inside bubblewrap.

Each picture must be the one vexillo-thumbnailer makes of the file itself,
pixel for pixel. The samples are made from the build's test assets, or
are Wine's modules and the corpus beside the repository where they are
there (a sample that is absent is skipped, and said so).

Usage: check_thumbnail_services.py tumbler|gnome THUMBNAILER THUMBNAILER_FILE
           ASSETS CORPUS
Exit status: 0 passed, 1 failed, 77 skipped (the reason on standard error).
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SKIP = 77

try:
    import gi

    gi.require_version("GdkPixbuf", "2.0")
    from gi.repository import GdkPixbuf, Gio, GLib
except (ImportError, ValueError) as missing:
    print("SKIPPED: GObject introspection for Python is not installed (Debian: python3-gi): %s" % missing,
          file=sys.stderr)
    sys.exit(SKIP)

SIZE = 128  # the "normal" flavour of both services
WINE = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"
TUMBLERD = "/usr/lib/x86_64-linux-gnu/tumbler-1/tumblerd"
TUMBLER_PATH = "/org/freedesktop/thumbnails/Thumbnailer1"
TUMBLER_NAME = "org.freedesktop.thumbnails.Thumbnailer1"


def skip(reason):
    print("SKIPPED: " + reason, file=sys.stderr)
    sys.exit(SKIP)


def riff_chunk(kind, body):
    return kind + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def make_samples(folder, assets, corpus):
    """The names of the files to thumbnail, made or copied into `folder`."""
    ico = open(os.path.join(assets, "ico_mixed.ico"), "rb").read()
    cur = ico[:2] + b"\2\0" + ico[4:]  # the same images as a cursor
    small = open(os.path.join(assets, "ico_32bit.ico"), "rb").read()
    # An animated cursor of two frames, the second shown first.
    header = struct.pack("<9I", 36, 2, 2, 0, 0, 0, 0, 6, 3)
    ani = riff_chunk(b"RIFF", b"ACON" + riff_chunk(b"anih", header)
                     + riff_chunk(b"LIST", b"fram" + riff_chunk(b"icon", small) + riff_chunk(b"icon", cur))
                     + riff_chunk(b"seq ", struct.pack("<2I", 1, 0)))
    made = {"icon.ico": ico, "pointer.cur": cur, "spinner.ani": ani, "riff.cur": ani}
    samples = []
    for name, data in made.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
        samples.append(name)
    for source, name in ((os.path.join(WINE, "notepad.exe"), "notepad.exe"),
                         (os.path.join(WINE, "shell32.dll"), "shell32.dll"),
                         (os.path.join(corpus, "ne", "kioextras__ne16_4bpp.exe"), "ne16.exe")):
        if os.path.isfile(source):
            shutil.copyfile(source, os.path.join(folder, name))
            samples.append(name)
        else:
            print("sample absent, skipped: " + source, file=sys.stderr)
    return samples


def content_type(path):
    """The type a file manager gives the file (GIO's, by name and content)."""
    info = Gio.File.new_for_path(path).query_info("standard::content-type", Gio.FileQueryInfoFlags.NONE, None)
    return info.get_content_type()


def pixels(pixbuf):
    """Size and RGBA pixels of a picture, rows without their padding."""
    if not pixbuf.get_has_alpha():
        pixbuf = pixbuf.add_alpha(False, 0, 0, 0)
    data, stride = pixbuf.get_pixels(), pixbuf.get_rowstride()
    width, height = pixbuf.get_width(), pixbuf.get_height()
    return width, height, b"".join(data[y * stride:y * stride + width * 4] for y in range(height))


class Check:
    def __init__(self, service, thumbnailer, folder):
        self.service, self.thumbnailer, self.folder = service, thumbnailer, folder
        self.failures = 0

    def compare(self, name, got):
        """`got` (a GdkPixbuf or None) against the thumbnailer's own picture."""
        path = os.path.join(self.folder, name)
        own = os.path.join(self.folder, "own-" + name + ".png")
        if got is None:
            self.fail(name, "no thumbnail")
            return
        if subprocess.run([self.thumbnailer, "-s", str(SIZE), path, own]).returncode:
            self.fail(name, "vexillo-thumbnailer itself makes no picture of it")
            return
        expected = pixels(GdkPixbuf.Pixbuf.new_from_file(own))
        actual = pixels(got)
        if actual[:2] != expected[:2]:
            self.fail(name, "%dx%d, not %dx%d" % (actual[0], actual[1], expected[0], expected[1]))
        elif actual[2] != expected[2]:
            self.fail(name, "%dx%d but other pixels than vexillo-thumbnailer's" % actual[:2])
        else:
            print("%s: %s (%s): %dx%d thumbnail" % (self.service, name, content_type(path), *actual[:2]))

    def fail(self, name, why):
        print("FAILED: %s: %s: %s" % (self.service, name, why), file=sys.stderr)
        self.failures += 1


def install(root, thumbnailer, entry):
    """A home of its own, with the thumbnailer installed as a package would:
    the program on PATH, its entry in $XDG_DATA_DIRS/thumbnailers."""
    home = os.path.join(root, "home")
    data = os.path.join(root, "share")
    os.makedirs(os.path.join(data, "thumbnailers"))
    os.makedirs(os.path.join(root, "bin"))
    shutil.copy(entry, os.path.join(data, "thumbnailers"))
    shutil.copy(thumbnailer, os.path.join(root, "bin", "vexillo-thumbnailer"))
    os.makedirs(home)
    env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_DATA_DIRS=data + ":/usr/share", PATH=os.path.join(root, "bin") + ":" + os.environ["PATH"])
    return env


def run_tumbler(args):
    """Inside a D-Bus session of its own: starts tumblerd, queues every sample
    and checks what lands in the cache."""
    thumbnailer, folder, names = args[0], args[1], args[2:]
    # tumblerd's own plugins for images (gdk-pixbuf reads .ico, .cur and
    # .ani too) would take those files first: only the thumbnailers of
    # .thumbnailer files serve here.
    config = os.path.join(os.environ["XDG_CONFIG_HOME"], "tumbler")
    os.makedirs(config)
    with open(os.path.join(config, "tumbler.rc"), "w") as rc:
        for plugin in ("JPEGThumbnailer", "RawThumbnailer", "PixbufThumbnailer", "CoverThumbnailer",
                       "FfmpegThumbnailer", "GstThumbnailer", "FontThumbnailer", "PopplerThumbnailer",
                       "OdfThumbnailer", "EpubThumbnailer"):
            rc.write("[%s]\nDisabled=true\n\n" % plugin)
        rc.write("[DesktopThumbnailer]\nDisabled=false\nPriority=0\nLocations=\nExcludes=\nMaxFileSize=0\n")
    # Nor do the system's .thumbnailer files (gdk-pixbuf-thumbnailer's): its
    # data folders are only the test's, which lends it the system's types
    # (by which gdk-pixbuf tells a PNG).
    data = os.environ["XDG_DATA_DIRS"].split(":")[0]
    os.symlink("/usr/share/mime", os.path.join(data, "mime"))
    daemon = subprocess.Popen([TUMBLERD], stdout=subprocess.DEVNULL, env=dict(os.environ, XDG_DATA_DIRS=data))
    check = Check("tumblerd", thumbnailer, folder)
    try:
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        loop = GLib.MainLoop()
        uris = [GLib.filename_to_uri(os.path.join(folder, name)) for name in names]
        types = [content_type(os.path.join(folder, name)) for name in names]
        state = {"handle": None, "finished": False, "ready": set(), "errors": {}}

        def on_signal(_bus, _sender, _path, _iface, signal, params):
            params = params.unpack()
            if signal == "Ready":
                state["ready"].update(params[1])
            elif signal == "Error":
                for uri in params[1]:
                    state["errors"][uri] = "%s (code %d)" % (params[3], params[2])
            elif signal == "Finished" and params[0] == state["handle"]:
                state["finished"] = True
                loop.quit()

        bus.signal_subscribe(None, TUMBLER_NAME, None, TUMBLER_PATH, None, Gio.DBusSignalFlags.NONE, on_signal)
        # The name is owned once tumblerd is ready to take requests.
        for _ in range(200):
            owner = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                  "NameHasOwner", GLib.Variant("(s)", (TUMBLER_NAME,)), None,
                                  Gio.DBusCallFlags.NONE, -1, None)
            if owner.unpack()[0] or daemon.poll() is not None:
                break
            GLib.usleep(50000)
        if daemon.poll() is not None:
            check.fail("tumblerd", "exited with status %d before taking requests" % daemon.returncode)
            return 1
        reply = bus.call_sync(TUMBLER_NAME, TUMBLER_PATH, TUMBLER_NAME, "Queue",
                              GLib.Variant("(asasssu)", (uris, types, "normal", "default", 0)),
                              None, Gio.DBusCallFlags.NONE, 10000, None)
        state["handle"] = reply.unpack()[0]
        GLib.timeout_add_seconds(60, loop.quit)
        loop.run()
        if not state["finished"]:
            check.fail("tumblerd", "no Finished signal within 60 s")
        cache = os.path.join(os.environ["XDG_CACHE_HOME"], "thumbnails", "normal")
        for name, uri in zip(names, uris):
            if uri in state["errors"]:
                check.fail(name, "Error signal: " + state["errors"][uri])
                continue
            if uri not in state["ready"]:
                check.fail(name, "no Ready signal")
            png = os.path.join(cache, hashlib.md5(uri.encode()).hexdigest() + ".png")
            check.compare(name, GdkPixbuf.Pixbuf.new_from_file(png) if os.path.isfile(png) else None)
    finally:
        daemon.terminate()
        daemon.wait(10)
    return 1 if check.failures else 0


def run_gnome(thumbnailer, folder, names):
    gi.require_version("GnomeDesktop", "3.0")
    from gi.repository import GnomeDesktop

    factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.NORMAL)
    check = Check("GNOME thumbnail factory", thumbnailer, folder)
    for name in names:
        path = os.path.join(folder, name)
        uri, kind = GLib.filename_to_uri(path), content_type(path)
        if not factory.can_thumbnail(uri, kind, int(os.stat(path).st_mtime)):
            check.fail(name, "the factory knows no thumbnailer for " + kind)
            continue
        try:
            picture = factory.generate_thumbnail(uri, kind, None)
        except GLib.Error as error:
            check.fail(name, error.message)
            continue
        check.compare(name, picture)
    return 1 if check.failures else 0


def gnome(root, env, installed, folder, names):
    """GNOME's factory runs every thumbnailer inside bubblewrap, which sees
    only /usr of the machine (no switch turns that off outside Flatpak): the
    thumbnailer is shown at /usr/local/bin, as a package installs it, in a
    mount namespace of the test's own."""
    try:
        gi.require_version("GnomeDesktop", "3.0")
    except ValueError:
        skip("GNOME's thumbnail factory is not installed (Debian: gir1.2-gnomedesktop-3.0)")
    if subprocess.run(["bwrap", "--ro-bind", "/", "/", "--unshare-all", "true"], stderr=subprocess.DEVNULL).returncode:
        skip("bubblewrap cannot make its sandbox here (no user namespaces?), and GNOME's factory runs every "
             "thumbnailer inside it")
    if subprocess.run(["unshare", "--map-root-user", "--mount", "true"], stderr=subprocess.DEVNULL).returncode:
        skip("no mount namespace in which to show the thumbnailer under /usr")
    # LeakSanitizer (of a sanitizer build) stops the process with ptrace,
    # which the factory's seccomp filter refuses.
    if "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] += ":detect_leaks=0"
    env = dict(env, VEXILLO_GNOME_ARGS="\n".join(["/usr/local/bin/vexillo-thumbnailer", folder, *names]))
    script = 'mount --bind "$1" /usr/local/bin && exec "$2" "$3" --gnome-inside'
    return subprocess.run(["unshare", "--map-root-user", "--mount", "sh", "-c", script, "sh",
                           os.path.dirname(installed), sys.executable, __file__], env=env, timeout=120).returncode


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "--tumbler-inside":
        return run_tumbler(sys.argv[2:])
    if len(sys.argv) == 2 and sys.argv[1] == "--gnome-inside":
        thumbnailer, folder, *names = os.environ["VEXILLO_GNOME_ARGS"].split("\n")
        return run_gnome(thumbnailer, folder, names)
    service, thumbnailer, entry, assets, corpus = sys.argv[1:6]
    root = tempfile.mkdtemp(prefix="vexillo-services-")
    try:
        env = install(root, thumbnailer, entry)
        folder = os.path.join(root, "files")
        os.makedirs(folder)
        names = make_samples(folder, assets, corpus)
        installed = os.path.join(root, "bin", "vexillo-thumbnailer")
        if service == "tumbler":
            if not os.access(TUMBLERD, os.X_OK) or not shutil.which("dbus-run-session"):
                skip("tumblerd or dbus-run-session is not installed (Debian: tumbler, dbus)")
            return subprocess.run(["dbus-run-session", "--", sys.executable, __file__, "--tumbler-inside",
                                   installed, folder, *names], env=env, timeout=120).returncode
        return gnome(root, env, installed, folder, names)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
