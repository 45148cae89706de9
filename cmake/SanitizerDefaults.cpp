// SPDX-License-Identifier: Apache-2.0
// Defaults for the sanitizer builds, linked into every executable of the project. Without a
// sanitizer these functions are never called.
//
// ThreadSanitizer: Qt, GLib and GStreamer are not instrumented, so their internal
// synchronisation is invisible to it; their own memory accesses are left out of the reports,
// and our code hands work between threads through atomics it does see.
//
// LeakSanitizer: memory that third-party libraries keep until the process ends — PulseAudio
// and GStreamer (device enumeration and playback in Qt Multimedia), the caches of Qt's
// software renderer (rasteriser state, SVG images, scene-graph textures), libdbus (under X11
// without a session bus, libdbus autolaunches one for Qt's platform integration and keeps a
// buffer from that), and libsrt (FFmpeg's network protocols, loaded with GStreamer's libav
// plugin, now and then keep one object of SRT's). Leaks whose allocation stack reaches no such
// frame, ours among them, are still reported.
//
// intercept_tls_get_addr=0: GCC 12's runtime records a bogus dynamic-TLS block for the main
// thread of a program that has played a camera file (seen as "DTLS 19 at 0x3637-0x1000004739"),
// and LeakSanitizer's tracer then dies reading it at exit, failing about half the runs of a
// test that passed. Static TLS is still scanned; the suite reports no new leaks without it.
extern "C" {
const char* __tsan_default_options() {
    // die_after_fork=0: tests start helper programs (ffmpeg) while threads run.
    return "halt_on_error=1 ignore_noninstrumented_modules=1 die_after_fork=0";
}
const char* __asan_default_options() {
    return "detect_leaks=1 intercept_tls_get_addr=0";
}
const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n"
           "leak:libgstreamer-1.0.so\n"
           "leak:libgstbase-1.0.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libdbus-1.so\n"
           "leak:libsrt-gnutls.so\n"
           "leak:QRasterPaintEngine\n"
           "leak:QPaintEngineEx::stroke\n"
           "leak:QPen::detach\n"
           "leak:QBezier::addToPolygon\n"
           "leak:QSGTexture::QSGTexture\n"
           "leak:QImageData::create\n"
           "leak:libQt6Quick.so\n"
           "leak:libqsvg.so\n";
}

#if defined(__SANITIZE_ADDRESS__)
// A library unloaded before the leak check (Mesa's GL driver, when Qt closes the X display)
// takes the globals that point to its allocations with it; LeakSanitizer then reports those
// allocations from an "unknown module" that no suppression can name. In the AddressSanitizer
// build nothing is unloaded: the libraries stay until the process ends, as they would with
// RTLD_NODELETE.
int dlclose(void*) {
    return 0;
}
#endif
}
