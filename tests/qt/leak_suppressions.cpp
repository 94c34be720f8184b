// Under the leak checker: fontconfig keeps a small cache it never frees once Qt has loaded its
// fonts; that is the library's and not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
