// Linked into every test program that opens Qt on a real X server: the xcb platform plugin reaches
// the session bus through libdbus, which keeps one buffer for the life of the process; the leak
// checker of sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
