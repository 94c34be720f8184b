// Leak-checker suppressions for the Qt tests under the sanitizer build. fontconfig keeps its
// configuration and font caches until FcFini, which Qt never calls; every test that lays out
// text would otherwise end with that as a leak. Without the sanitizer nothing calls this.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
